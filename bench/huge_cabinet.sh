#!/usr/bin/env bash
# The cabinet tool beside cabextract on a 3 GB cabinet, run by hand (never from ctest):
#
#   bench/huge_cabinet.sh [path/to/tool] [parent-folder]
#
# bench/make_huge_cabinet.py --preset huge writes the cabinet (65,535 files; a stored folder of
# 3,000,000,000 bytes in 91,553 blocks, its count wrapped; an MSZIP folder of 4 GB less a byte in
# 131,072 blocks, stored as 0, holding a file of 4,294,901,760 bytes and one at that offset) and
# the SHA-256 of every file. Then the time and peak memory (maximum resident set) of our L, T and
# X and of cabextract -l and -d; both listings compared (sizes and names), and every file each
# extraction wrote checked against the generator's sums. cabextract stops at a folder's stored
# block count and at 2 GB into a folder: the files it cannot extract are counted, not compared.
# Needs about 11 GB free below the parent folder (default: the temporary folder); everything is
# deleted afterwards.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$repo/build/bin/cabarc}
parent=${2:-${TMPDIR:-/tmp}}
preset=${FM_HUGE_PRESET:-huge} # another preset of the generator, to try this script quickly

for need in cabextract python3 sha256sum; do
  command -v "$need" >/dev/null || { echo "$need is missing" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "no tool at $tool: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }
tool=$(realpath "$tool")
free_kb=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
[ "$free_kb" -ge $((11 * 1024 * 1024)) ] || { echo "less than 11 GB free in $parent" >&2; exit 2; }

work=$(mktemp -d "$parent/fendlemark-huge.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# seconds and peak kilobytes of a command: "what: 12.3 s, 45678 KB"
measure() {
  local what=$1
  shift
  /usr/bin/time -f "%e %M" -o time.txt "$@" || true
  read -r seconds kb < <(tail -1 time.txt)
  printf '%-16s %8s s %9s KB%s\n' "$what:" "$seconds" "$kb" \
    "$(grep -q 'non-zero' time.txt && echo ', failed' || true)"
}

echo "Writing the cabinet in $work ..."
measure "generator" python3 "$repo/bench/make_huge_cabinet.py" huge.cab --preset "$preset" --manifest huge.sha
echo "huge.cab: $(stat -c %s huge.cab) bytes"
sync

measure "ours L" sh -c "'$tool' L huge.cab > ours.list"
measure "cabextract -l" sh -c "cabextract -l huge.cab > theirs.list"
awk '{ n = $1; sub(/^ *[0-9]+ +[0-9-]+ [0-9:]+  /, ""); gsub(/\\/, "/"); print n " " $0 }' ours.list > a
awk -F ' [|] ' 'NF == 3 && $1 ~ /[0-9]/ { gsub(/ /, "", $1); print $1 " " $3 }' theirs.list > b
if cmp -s a b; then echo "listings: equal ($(wc -l < a) files)"; else echo "listings: DIFFERENT"; fi

measure "ours T" sh -c "'$tool' T huge.cab > ours.test 2>&1"
tail -1 ours.test

mkdir ours
measure "ours X" sh -c "'$tool' -q -p X huge.cab ours/ 2> ours.err"
(cd ours && sha256sum -c --quiet ../huge.sha > ../ours.sums 2>&1) &&
  echo "ours: all $(wc -l < huge.sha) files equal to the generator's" ||
  echo "ours: $(grep -c FAILED ours.sums) files DIFFERENT OR MISSING"
rm -rf ours

mkdir theirs
measure "cabextract -d" sh -c "cabextract -q -d theirs huge.cab 2> theirs.err"
# cabextract leaves what it wrote of a file it names as failed: those are not compared.
(cd theirs && find . -type f | sed 's|^\./||') > written
sed -n 's|^theirs/\([^:]*\): .*|\1|p' theirs.err > failed
awk 'FILENAME == "failed" { bad[$0]; next } FILENAME == "written" { w[$0]; next }
     ($2 in w) && !($2 in bad)' failed written huge.sha > theirs.sha
if [ ! -s theirs.sha ] || (cd theirs && sha256sum -c --quiet ../theirs.sha > ../theirs.sums 2>&1); then
  echo "cabextract: $(wc -l < theirs.sha) files extracted, all equal to the generator's;" \
    "$(wc -l < failed) failed"
else
  echo "cabextract: $(grep -c FAILED theirs.sums) of $(wc -l < theirs.sha) files DIFFERENT"
fi
rm -rf theirs
