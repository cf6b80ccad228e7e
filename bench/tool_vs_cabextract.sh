#!/usr/bin/env bash
# The cabinet tool beside cabextract, run by hand (never from ctest):
#
#   bench/tool_vs_cabextract.sh [path/to/tool] [rounds]
#
# Cases: extracting a ~200 MB MSZIP cabinet (random data stored, base64 and number text
# compressed; made with gcab here, never committed), extracting each LZX cabinet of the shared
# test cabinets, listing a cabinet of 10,000 files. Each case times both programs in alternating
# rounds (a round of a short case is a batch of runs, so that timing costs vanish) and reports
# the median time per run of each; a case passes when ours is not slower. Uses hyperfine when it
# is installed, otherwise times the rounds itself. The shared cabinets are found through
# FM_SHARED_DIR, else ../shared beside the repository.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$repo/build/bin/cabarc}
rounds=${2:-15}
shared=${FM_SHARED_DIR:-$repo/../shared}

for need in cabextract gcab; do
  command -v "$need" >/dev/null || { echo "$need is missing (scripts/install-deps installs it)" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "no tool at $tool: build it first" >&2; exit 2; }
tool=$(realpath "$tool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Making the test cabinets in $work ..."
mkdir big many
head -c 150000000 /dev/urandom > big/random.bin
head -c 30000000 /dev/urandom | base64 > big/base64.txt
seq 1 12000000 > big/numbers.txt
(cd big && gcab -c -z ../big.cab random.bin base64.txt numbers.txt)
rm -rf big
for i in $(seq 0 9999); do
  d=many/sub$((i % 50))
  [ -d "$d" ] || mkdir -p "$d"
  printf '%*s' $((i % 100)) '' > "$d/file$i.txt"
done
(cd many && find . -type f | sed 's|^\./||' | sort | xargs gcab -c ../many.cab)
rm -rf many
echo "big.cab: $(stat -c %s big.cab) bytes; many.cab: $(stat -c %s many.cab) bytes"

# median of the numbers on stdin
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# microseconds `batch` runs of a command take; @OUT@ in it names a fresh output folder for each
# run, removed after the clock stops
batch_micros() {
  local batch=$1 start end i
  shift
  local command="$*" runs=()
  for ((i = 0; i < batch; i++)); do runs+=("${command//@OUT@/out/$i}"); done
  rm -rf out
  mkdir out
  start=$(date +%s%N)
  for ((i = 0; i < batch; i++)); do
    ${runs[$i]} >/dev/null 2>&1 || true
  done
  end=$(date +%s%N)
  rm -rf out
  echo $(((end - start) / 1000))
}

printf '\n%-34s %12s %12s  %s\n' case "ours ms" "cabextract" verdict
failures=0

# compare NAME BATCH OUR-COMMAND THEIR-COMMAND (commands as words, no quoting; @OUT@ is the
# output folder)
compare() {
  local name=$1 batch=$2 ours=$3 theirs=$4 ours_ms theirs_ms
  if command -v hyperfine >/dev/null; then
    hyperfine -N --runs $((rounds * batch)) --warmup 3 --prepare 'rm -rf out' \
      --export-json h.json "${ours//@OUT@/out}" "${theirs//@OUT@/out}" >/dev/null 2>&1
    ours_ms=$(python3 -c 'import json;print("%.2f"%(json.load(open("h.json"))["results"][0]["median"]*1000))')
    theirs_ms=$(python3 -c 'import json;print("%.2f"%(json.load(open("h.json"))["results"][1]["median"]*1000))')
  else
    local a=() b=()
    batch_micros 2 $ours >/dev/null
    batch_micros 2 $theirs >/dev/null
    for ((r = 0; r < rounds; r++)); do
      a+=("$(batch_micros "$batch" $ours)")
      b+=("$(batch_micros "$batch" $theirs)")
    done
    ours_ms=$(printf '%s\n' "${a[@]}" | median | awk -v n="$batch" '{ printf "%.2f", $1 / n / 1000 }')
    theirs_ms=$(printf '%s\n' "${b[@]}" | median | awk -v n="$batch" '{ printf "%.2f", $1 / n / 1000 }')
  fi
  local verdict=ok
  if awk -v o="$ours_ms" -v t="$theirs_ms" 'BEGIN { exit !(o > t) }'; then
    verdict=SLOWER
    failures=$((failures + 1))
  fi
  printf '%-34s %12s %12s  %s\n' "$name" "$ours_ms" "$theirs_ms" "$verdict"
}

compare "extract big.cab (MSZIP)" 1 "$tool -q -p X big.cab @OUT@/" "cabextract -q -d @OUT@ big.cab"
lzx=0
for cab in "$shared"/cabs/*.cab; do
  [ -e "$cab" ] || continue
  # the LZX ones: folder compression type 3 in the first folder record
  if cabextract -l "$cab" >/dev/null 2>&1 && python3 - "$cab" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
flags = struct.unpack_from('<H', b, 30)[0]
at = 36
if flags & 4:
    hres, fres, dres = struct.unpack_from('<HBB', b, 36)
    at += 4 + hres
else:
    fres = 0
for _ in range((1 if flags & 1 else 0) * 2 + (1 if flags & 2 else 0) * 2):
    at = b.index(b'\0', at) + 1
nfolders = struct.unpack_from('<H', b, 26)[0]
types = [struct.unpack_from('<H', b, at + i * (8 + fres) + 6)[0] & 15 for i in range(nfolders)]
sys.exit(0 if 3 in types else 1)
PY
  then
    lzx=$((lzx + 1))
    compare "extract $(basename "$cab")" 40 "$tool -q -p X $cab @OUT@/" "cabextract -q -d @OUT@ $cab"
  fi
done
[ "$lzx" -gt 0 ] || echo "(no shared LZX cabinets found under $shared/cabs)"
compare "list many.cab (10,000 files)" 20 "$tool L many.cab" "cabextract -l many.cab"

if [ -x /usr/bin/time ]; then
  rm -rf out
  ours_kb=$(/usr/bin/time -f %M "$tool" -q -p X big.cab out/ 2>&1 >/dev/null | tail -1)
  rm -rf out
  theirs_kb=$(/usr/bin/time -f %M cabextract -q -d out big.cab 2>&1 >/dev/null | tail -1)
  printf '\npeak memory extracting big.cab: ours %s KB, cabextract %s KB\n' "$ours_kb" "$theirs_kb"
fi

[ "$failures" -eq 0 ] || { echo "$failures case(s) slower than cabextract" >&2; exit 1; }
