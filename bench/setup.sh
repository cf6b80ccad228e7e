# Sourced by the benchmark scripts once `tool` is set: checks what they run (cabextract, gcab,
# /usr/bin/time and the tool), makes `tool` absolute and makes a scratch folder `work`, removed
# on exit.
for need in cabextract gcab; do
  command -v "$need" >/dev/null || { echo "$need is missing (scripts/install-deps installs it)" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "no tool at $tool: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }
tool=$(realpath "$tool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
