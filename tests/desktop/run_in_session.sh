#!/bin/sh
# Runs a desktop test script on its own X server (xvfb-run) and session bus (dbus-run-session),
# with Qt's accessibility bridge on. Exit status 77 (a skip) when one of them cannot exist here.
for tool in dbus-run-session xvfb-run gcab; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
if ! /usr/bin/python3 -c 'import pyatspi, dbus' 2>/dev/null; then
  echo "SKIPPED: python3-pyatspi or python3-dbus is not installed (scripts/install-deps installs it)"
  exit 77
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM
exec dbus-run-session -- xvfb-run -a /usr/bin/python3 "$@"
