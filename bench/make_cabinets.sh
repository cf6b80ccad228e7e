#!/usr/bin/env bash
# Making cabinets with the tool's N beside gcab, run by hand (never from ctest):
#
#   bench/make_cabinets.sh [path/to/tool] [method]
#
# The corpus (copied into a temporary folder, never committed): this source tree, /usr/share/doc
# and a few large shared libraries of /usr/lib, about 170 MB. The tool packs it with `N` and
# the method given (LZX:21 without one), gcab with MSZIP (`gcab -c -z`). Prints each cabinet's
# size and time, the size ratio (goal: at most 0.88) and the tool's speed in MB/s of input by CPU
# time (goal: at least 10), and checks the tool's cabinet with cabextract -t.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$repo/build/bin/cabarc}
method=${2:-LZX:21}
. "$repo/bench/setup.sh"
mkdir "$work/corpus"
echo "Copying the corpus into $work ..."
tar -C "$repo" --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . |
  tar -C "$work/corpus" --one-top-level=source -xf -
cp -rL /usr/share/doc "$work/corpus/doc" 2>/dev/null || true
mkdir "$work/corpus/lib"
for lib in libQt6Core.so.6 libQt6Gui.so.6 libQt6Widgets.so.6 libcrypto.so.3 libpython3.11.so.1.0 \
           libstdc++.so.6; do
  f=/usr/lib/x86_64-linux-gnu/$lib
  [ -e "$f" ] && cp -L "$f" "$work/corpus/lib/"
done
in_bytes=$(find "$work/corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
files=$(find "$work/corpus" -type f | wc -l)
echo "corpus: $files files, $in_bytes bytes"

# Runs a command, printing its name, the cabinet's size, the time (elapsed, and the CPU time the
# command used, which other work on the machine does not stretch) and the speed in MB/s of input
# by CPU time.
measure() {
  local label=$1 cab=$2
  shift 2
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null
  read -r elapsed user sys < "$work/time"
  awk -v l="$label" -v s="$(stat -c %s "$cab")" -v e="$elapsed" -v c="$(awk -v u="$user" -v k="$sys" 'BEGIN {print u + k}')" \
      -v b="$in_bytes" 'BEGIN {printf "%-22s %11d bytes %8.2f s elapsed %8.2f s CPU %6.1f MB/s\n", l, s, e, c, b / 1e6 / c}'
}
cd "$work/corpus"
mapfile -t list < <(find . -type f -printf '%P\n' | sort)
measure "cabarc N -m $method" "$work/ours.cab" "$tool" -m "$method" -p -q N "$work/ours.cab" .
measure "gcab -c -z (MSZIP)" "$work/gcab.cab" gcab -c -z "$work/gcab.cab" "${list[@]}"
ours=$(stat -c %s "$work/ours.cab")
theirs=$(stat -c %s "$work/gcab.cab")
printf 'size ratio (ours / gcab): %.3f\n' "$(awk -v a="$ours" -v b="$theirs" 'BEGIN {print a / b}')"
cabextract -t "$work/ours.cab" | tail -1
