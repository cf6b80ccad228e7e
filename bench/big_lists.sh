#!/bin/sh
# Big lists in the real window on its own X server and session bus, with Qt's accessibility
# bridge on (as with a screen reader), beside the bare libmspack read of the same cabinets:
#
#   bench/big_lists.sh [build-folder] [rounds]
#
# The cabinets (about 300 MB) are written once into $FM_BENCH_CABS, by default
# fendlemark-big-lists in the temporary folder, and reused by later runs.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build}
rounds=${2:-3}
for tool in dbus-run-session xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps installs it)" >&2; exit 2; }
done
[ -x "$build/bench/bench_big_lists" ] || { echo "build bench_big_lists first" >&2; exit 2; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_big_lists" "$rounds"
