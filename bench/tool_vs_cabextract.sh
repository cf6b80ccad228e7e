#!/usr/bin/env bash
# The cabinet tool beside cabextract, run by hand (never from ctest):
#
#   bench/tool_vs_cabextract.sh [path/to/tool] [rounds]
#
# Cases: extracting a ~100 MB MSZIP cabinet of compressible data (made here with gcab in a
# temporary folder, never committed), extracting and testing (X, T) a ~330 MB LZX:21 cabinet
# made by the tool's own N (several minutes; goal: at most half cabextract's time, with both
# programs' rates in MB/s of output beside memcpy's on this machine; its three files are three
# folders, which the tool decodes side by side on worker threads, holding them in memory), 20,000 files of 300 bytes in one MSZIP cabinet (all of them,
# and 19,999 chosen through a link as the program chooses rows), extracting every stand-alone
# shared test cabinet (MSZIP, LZX, Quantum, stored), and listing a cabinet of 10,000 files. Each case runs both programs in
# alternating rounds, in one run of this script (a round of a short case is a batch of runs, so
# that timing costs vanish), and reports the median time per run of each and their ratio; a case
# passes when ours is not slower. Then the peak memory (maximum resident set) of both on the big
# cabinet and on the shared ones. The shared cabinets are found through FM_SHARED_DIR, else
# ../shared beside the repository.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$repo/build/bin/cabarc}
rounds=${2:-11}
shared=${FM_SHARED_DIR:-$repo/../shared}

. "$repo/bench/setup.sh"
cd "$work"

echo "Making the test cabinets in $work ..."
mkdir big many
head -c 75000000 /dev/urandom | base64 > big/base64.txt
seq 1 6000000 > big/numbers.txt
(cd big && gcab -c -z ../big.cab base64.txt numbers.txt)
out_bytes=$(cat big/* | wc -c)
rm -rf big
for i in $(seq 0 9999); do
  d=many/sub$((i % 50))
  [ -d "$d" ] || mkdir -p "$d"
  printf '%*s' $((i % 100)) '' > "$d/file$i.txt"
done
(cd many && find . -type f | sed 's|^\./||' | sort | xargs gcab -c ../many.cab)
rm -rf many
mkdir small
python3 - <<'PY'
import random
random.seed(1)
for i in range(20000):
    with open('small/f%05d.txt' % i, 'w') as f:
        f.write(''.join(random.choice('abcdefgh \n') for _ in range(300)))
PY
(cd small && gcab -c -z ../small.cab f*.txt)
rm -rf small
# The link the program would hand over for every row but the first (names need no escapes here).
{
  echo "fendlemark-link 1"
  "$tool" L small.cab | awk 'NR > 1 { print "file " NR - 1 " " $NF }'
} > small-link.txt
mkdir lzx
head -c 120000000 /dev/urandom | base64 > lzx/base64.txt
seq 1 20000000 > lzx/numbers.txt
cp "$tool" lzx/tool.bin # machine code, for the E8 translation
lzx_bytes=$(cat lzx/* | wc -c)
echo "Making lzx.cab with the tool's N (LZX:21) ..."
"$tool" -q -m LZX:21 N lzx.cab lzx >/dev/null
rm -rf lzx
echo "big.cab: $(stat -c %s big.cab) bytes, $out_bytes bytes out; many.cab: $(stat -c %s many.cab) bytes"
echo "lzx.cab: $(stat -c %s lzx.cab) bytes, $lzx_bytes bytes out"
echo "small.cab: $(stat -c %s small.cab) bytes, 20,000 files of 300 bytes"

# median of the numbers on stdin
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# microseconds `batch` runs of a command take; @OUT@ in it names a fresh, existing output folder
# (a full path, as the program passes) for each run, removed after the clock stops
batch_micros() {
  local batch=$1 start end i
  shift
  local command="$*" runs=()
  for ((i = 0; i < batch; i++)); do runs+=("${command//@OUT@/$work/out/$i}"); done
  rm -rf out
  mkdir out
  for ((i = 0; i < batch; i++)); do mkdir "out/$i"; done
  start=$(date +%s%N)
  for ((i = 0; i < batch; i++)); do
    ${runs[$i]} >/dev/null 2>&1 || true
  done
  end=$(date +%s%N)
  rm -rf out
  echo $(((end - start) / 1000))
}

printf '\n%-52s %10s %10s %7s  %s\n' case "ours ms" cabextract ratio verdict
failures=0

# compare NAME BATCH OUR-COMMAND THEIR-COMMAND [GOAL] (commands as words, no quoting; @OUT@ is
# the output folder). The rounds alternate: ours, theirs, ours, theirs, ... A case passes when
# ours takes at most GOAL (default 1) times cabextract's time. Leaves the medians in ours_ms and
# theirs_ms.
compare() {
  local name=$1 batch=$2 ours=$3 theirs=$4 goal=${5:-1} a=() b=() r
  batch_micros 1 $ours >/dev/null
  batch_micros 1 $theirs >/dev/null
  for ((r = 0; r < rounds; r++)); do
    a+=("$(batch_micros "$batch" $ours)")
    b+=("$(batch_micros "$batch" $theirs)")
  done
  ours_ms=$(printf '%s\n' "${a[@]}" | median | awk -v n="$batch" '{ printf "%.3f", $1 / n / 1000 }')
  theirs_ms=$(printf '%s\n' "${b[@]}" | median | awk -v n="$batch" '{ printf "%.3f", $1 / n / 1000 }')
  local ratio verdict=ok
  ratio=$(awk -v o="$ours_ms" -v t="$theirs_ms" 'BEGIN { printf "%.2f", o / t }')
  if awk -v o="$ours_ms" -v t="$theirs_ms" -v g="$goal" 'BEGIN { exit !(o > t * g) }'; then
    verdict="SLOWER than $goal x"
    failures=$((failures + 1))
  fi
  printf '%-52s %10s %10s %7s  %s\n' "$name" "$ours_ms" "$theirs_ms" "$ratio" "$verdict"
}

# The compression methods of a cabinet's folders, from its folder table.
methods() {
  python3 - "$1" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
flags, = struct.unpack_from('<H', b, 30)
at, fres = 36, 0
if flags & 4:
    hres, fres, _ = struct.unpack_from('<HBB', b, 36)
    at += 4 + hres
for _ in range((2 if flags & 1 else 0) + (2 if flags & 2 else 0)):
    at = b.index(b'\0', at) + 1
n, = struct.unpack_from('<H', b, 26)
names = {0: 'stored', 1: 'MSZIP', 2: 'Quantum', 3: 'LZX'}
kinds = sorted({names.get(struct.unpack_from('<H', b, at + i * (8 + fres) + 6)[0] & 15, '?') for i in range(n)})
print('+'.join(kinds))
PY
}

compare "extract big.cab (MSZIP)" 1 "$tool -q -p X big.cab @OUT@/" "cabextract -q -d @OUT@ big.cab"
mbs() { awk -v b="$1" -v ms="$2" 'BEGIN { printf "%.0f", b / 1e6 / (ms / 1000) }'; }
compare "extract lzx.cab (LZX:21)" 1 "$tool -q X lzx.cab @OUT@/" "cabextract -q -d @OUT@ lzx.cab" 0.5
lzx_rates="X: ours $(mbs "$lzx_bytes" "$ours_ms") MB/s, cabextract $(mbs "$lzx_bytes" "$theirs_ms") MB/s"
compare "test lzx.cab (LZX:21)" 1 "$tool T lzx.cab" "cabextract -q -t lzx.cab" 0.5
lzx_rates="$lzx_rates; T: ours $(mbs "$lzx_bytes" "$ours_ms") MB/s, cabextract $(mbs "$lzx_bytes" "$theirs_ms") MB/s"
compare "extract small.cab (20,000 x 300 B, MSZIP)" 1 "$tool -q X small.cab @OUT@/" \
  "cabextract -q -d @OUT@ small.cab"
compare "extract 19,999 of small.cab through a link" 1 \
  "$tool -q -@ small-link.txt X small.cab @OUT@/" "cabextract -q -d @OUT@ small.cab"
shared_cabs=()
for cab in "$shared"/cabs/*.cab; do
  [ -e "$cab" ] || continue
  # a part of a spanned set extracts what starts in it, cabextract the whole set: not alike
  case $(basename "$cab") in split-*) continue ;; esac
  shared_cabs+=("$cab")
  compare "extract $(basename "$cab") ($(methods "$cab"))" 20 \
    "$tool -q -p X $cab @OUT@/" "cabextract -q -d @OUT@ $cab"
done
[ ${#shared_cabs[@]} -gt 0 ] || echo "(no shared cabinets found under $shared/cabs)"
compare "list many.cab (10,000 files)" 10 "$tool L many.cab" "cabextract -l many.cab"

# memcpy's rate on this machine, the ceiling for any decoder: 32 KB frames into a 64 MB buffer.
cat > memcpy_rate.cpp <<'CPP'
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>
int main() {
    std::vector<char> from(32768, 'x'), to(64 << 20);
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (size_t at = 0; at < to.size(); at += from.size())
            std::memcpy(to.data() + at, from.data(), from.size());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, to.size() / 1e6 / s);
    }
    std::printf("%.0f\n", best + to[12345] * 0);
}
CPP
c++ -O2 -o memcpy_rate memcpy_rate.cpp
printf '\nLZX rates (MB/s of output): %s; memcpy %s MB/s\n' "$lzx_rates" "$(./memcpy_rate)"

peak() { # KB of the largest resident set of a command
  rm -rf out
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
  rm -rf out
}
printf '\n%-52s %10s %10s\n' 'peak memory (KB)' ours cabextract
printf '%-52s %10s %10s\n' big.cab "$(peak "$tool" -q -p X big.cab out/)" "$(peak cabextract -q -d out big.cab)"
printf '%-52s %10s %10s\n' lzx.cab "$(peak "$tool" -q X lzx.cab out/)" "$(peak cabextract -q -d out lzx.cab)"
for cab in "${shared_cabs[@]}"; do
  printf '%-52s %10s %10s\n' "$(basename "$cab")" "$(peak "$tool" -q -p X "$cab" out/)" \
    "$(peak cabextract -q -d out "$cab")"
done

[ "$failures" -eq 0 ] || { echo "$failures case(s) slower than their goal" >&2; exit 1; }
