#!/usr/bin/env bash
# Measures ctrcheck against its yardsticks on captures it makes itself, all
# in the page cache, and prints a Markdown table of medians and ratios:
#   - the clean 1 GiB capture: ctrcheck vs dd bs=1M (the read floor), vs
#     ctrverify (wall and processor time, user and system) and vs a
#     getc-per-byte verifier;
#   - 100 MiB of zero bytes (every byte a break), 100 MiB of random bytes (a
#     break on nearly every byte, mostly three-digit values) and a 1 GiB
#     capture with a corrupted byte every 4 KiB: ctrcheck vs a printf-per-line
#     verifier, with the two outputs compared byte for byte first;
#   - peak resident memory of ctrcheck on each input;
#   - ctrverify on the clean capture read as a file and through a pipe from
#     cat (against cat into dd bs=1M), and on the zero bytes with every
#     break line shown, with its peak resident memory;
#   - ctrverify with --duration, --interval and --timestamps on the clean
#     capture, from the file and from cat (the file ends before the
#     duration: status 2, as it should);
#   - ctrverify -w 32 the same way on a clean 1 GiB 32-bit counter, and on
#     the zero bytes (every word a break) against 8 bits on them; -w 32 -q
#     on the random bytes (out of lock throughout, lock searched at every
#     byte offset) against 8 bits on them; its peak resident memory at
#     every width with --json and with --explain;
#   - ctrverify --pattern on a clean 1 GiB PRBS31 from the file and from cat,
#     on PRBS7 and PRBS23 from the file, and on PRBS31 with a bit error ratio
#     of 1e-6 against the clean one.
# Each command runs RUNS times (default 7, at least 5) after a warm-up, the
# commands of one input taking turns. ALSO names another ctrcheck binary
# (say the static one from a release tarball) that takes its turns beside
# the release build's and gets rows of its own.
#   bench/run.sh            (inputs in $BENCH_DIR, default /tmp/ctrcheck-bench)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${BENCH_DIR:-/tmp/ctrcheck-bench}
runs=${RUNS:-7}
[ "$runs" -ge 5 ] || runs=5
build=$top/build/release

cmake --preset release -S "$top" > /dev/null
cmake --build "$build" --target ctrcheck ctrverify ctrcheck_reference > /dev/null
ctr=$build/ctrcheck
ver=$build/ctrverify
reference=$build/bench/ctrcheck_reference
also=${ALSO:-}
[ -z "$also" ] || also=$(realpath "$also")

mkdir -p "$dir"
cd "$dir"
# 1 MiB of perfect counter from 1; 256 divides every doubling, so it stays continuous.
if [ ! -f mib.dat ]; then
  s=""
  for i in $(seq 1 255) 0; do s+=$(printf '\\%03o' "$i"); done
  printf "$s" > mib.tmp
  for _ in $(seq 1 12); do cat mib.tmp mib.tmp > mib.2; mv mib.2 mib.tmp; done
  mv mib.tmp mib.dat
fi
[ -f clean.dat ] || { for _ in $(seq 1 1024); do cat mib.dat; done > clean.tmp; mv clean.tmp clean.dat; }
[ -f zeros.dat ] || { head -c $((100 << 20)) /dev/zero > zeros.tmp; mv zeros.tmp zeros.dat; }
[ -f clean32.dat ] || { "$reference" ramp32 $((1 << 30)) clean32.tmp; mv clean32.tmp clean32.dat; }
for p in 7:0 23:5 31:7; do
  [ -f prbs${p%:*}.dat ] || { "$reference" prbs "${p#*:}" $((1 << 30)) 0 prbs.tmp; mv prbs.tmp "prbs${p%:*}.dat"; }
done
[ -f prbs31e.dat ] || { "$reference" prbs 7 $((1 << 30)) 1000000 prbs.tmp; mv prbs.tmp prbs31e.dat; }
[ -f random.dat ] || { "$reference" random $((100 << 20)) random.tmp; mv random.tmp random.dat; }
if [ ! -f breaks4k.dat ]; then
  cp mib.dat mib4k.tmp
  for off in $(seq 2047 4096 $((1 << 20))); do printf '\252' | dd of=mib4k.tmp bs=1 seek="$off" conv=notrunc status=none; done
  for _ in $(seq 1 1024); do cat mib4k.tmp; done > breaks4k.tmp
  rm mib4k.tmp
  mv breaks4k.tmp breaks4k.dat
fi

for f in zeros random breaks4k; do
  if ! cmp -s <("$ctr" -i $f.dat) <("$reference" printf $f.dat); then
    echo "ctrcheck and the printf reference disagree on $f.dat" >&2
    exit 1
  fi
done

# run LABEL CMD...: one timed run, stdout to /dev/null; appends seconds,
# processor seconds (user and system, from bash's time) and peak RSS (KiB)
# to LABEL.times, LABEL.cpu and LABEL.rss.
run() {
  local label=$1 t0 t1 TIMEFORMAT='%3U %3S'
  shift
  t0=$EPOCHREALTIME
  # ctrverify: 1 is "breaks found", 2 a stream that ended before --duration
  { time /usr/bin/time -q -f %M -o rss.tmp "$@" > /dev/null 2> /dev/null || [ $? -le 2 ]; } 2> cpu.tmp
  t1=$EPOCHREALTIME
  echo "$t0 $t1" | awk '{ printf "%.4f\n", $2 - $1 }' >> "$label.times"
  awk '{ printf "%.3f\n", $1 + $2 }' cpu.tmp >> "$label.cpu"
  cat rss.tmp >> "$label.rss"
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

rm -f ./*.times ./*.cpu ./*.rss
cat clean.dat clean32.dat zeros.dat random.dat breaks4k.dat prbs*.dat > /dev/null  # warm the page cache
run warm "$ctr" -i clean.dat
for _ in $(seq 1 "$runs"); do
  run dd_clean dd if=clean.dat of=/dev/null bs=1M status=none
  run ctr_clean "$ctr" -i clean.dat
  [ -z "$also" ] || run also_clean "$also" -i clean.dat
  run getc_clean "$reference" getc clean.dat
  run ver_clean "$ver" clean.dat
  run catdd_clean sh -c 'cat clean.dat | dd of=/dev/null bs=1M status=none'
  run ver_pipe sh -c 'cat clean.dat | "$0" -' "$ver"
  run ver_limits "$ver" --duration=3600 --interval=0.1 --timestamps clean.dat
  run ver_limits_pipe sh -c 'cat clean.dat | "$0" --duration=3600 --interval=0.1 --timestamps -' "$ver"
  run dd_clean32 dd if=clean32.dat of=/dev/null bs=1M status=none
  run ver32_clean "$ver" -w 32 clean32.dat
  run catdd_clean32 sh -c 'cat clean32.dat | dd of=/dev/null bs=1M status=none'
  run ver32_pipe sh -c 'cat clean32.dat | "$0" -w 32 -' "$ver"
  run dd_prbs31 dd if=prbs31.dat of=/dev/null bs=1M status=none
  run prbs31 "$ver" --pattern=prbs31 prbs31.dat
  run catdd_prbs31 sh -c 'cat prbs31.dat | dd of=/dev/null bs=1M status=none'
  run prbs31_pipe sh -c 'cat prbs31.dat | "$0" --pattern=prbs31 -' "$ver"
  run prbs7 "$ver" --pattern=prbs7 prbs7.dat
  run prbs23 "$ver" --pattern=prbs23 prbs23.dat
  run prbs31e "$ver" --pattern=prbs31 -q prbs31e.dat
done
# The broken captures against the printf reference, one input at a time.
for f in zeros random breaks4k; do
  for _ in $(seq 1 "$runs"); do
    run "ctr_$f" "$ctr" -i "$f.dat"
    [ -z "$also" ] || run "also_$f" "$also" -i "$f.dat"
    run "ref_$f" "$reference" printf "$f.dat"
  done
done
cmp -s <("$ver" zeros.dat | head -n -1) <("$reference" printf zeros.dat | sed '1d;$d') ||
  { echo "ctrverify and the printf reference disagree on zeros.dat" >&2; exit 1; }
for _ in $(seq 1 "$runs"); do
  run ver_zeros "$ver" zeros.dat
  run ver32_zeros "$ver" -w 32 zeros.dat
  run ver_random "$ver" -q random.dat
  run ver32_random "$ver" -w 32 -q random.dat
done
for w in 8 16 32 64; do  # memory only: once each
  run ver_mem "$ver" -w "$w" --json zeros.dat
  run ver_mem "$ver" -w "$w" --explain zeros.dat
  run ver_mem "$ver" -w "$w" --json clean32.dat
  run ver_mem "$ver" -w "$w" --explain random.dat
done

m() { median "$1.times"; }
ratio() { awk -v a="$(m "$1")" -v b="$(m "$2")" 'BEGIN { printf "%.3f", a / b }'; }
cpu() { median "$1.cpu"; }
cpu_ratio() { awk -v a="$(cpu "$1")" -v b="$(cpu "$2")" 'BEGIN { printf "%.3f", a / b }'; }
rss() { sort -n "$1.rss" | tail -1 | awk '{ printf "%.1f MiB", $1 / 1024 }'; }

breaks() { "$reference" printf "$1.dat" | tail -n 1 | awk '{ print $4 }'; }
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "Machine: $cpu, $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GiB; $runs runs each, medians in seconds."
echo
echo "| input | ctrcheck | yardstick | yardstick time | ratio | target | ctrcheck peak RSS |"
echo "|---|---|---|---|---|---|---|"
echo "| clean counter, 1 GiB | $(m ctr_clean) | dd bs=1M | $(m dd_clean) | $(ratio ctr_clean dd_clean) | at most 1.6 | $(rss ctr_clean) |"
echo "| clean counter, 1 GiB, processor time | $(cpu ctr_clean) | ctrverify | $(cpu ver_clean) | $(cpu_ratio ctr_clean ver_clean) | at most 1.1 | $(rss ctr_clean) |"
echo "| clean counter, 1 GiB | $(m ctr_clean) | ctrverify | $(m ver_clean) | $(ratio ctr_clean ver_clean) | | $(rss ctr_clean) |"
echo "| clean counter, 1 GiB | $(m ctr_clean) | getc per byte | $(m getc_clean) | $(ratio ctr_clean getc_clean) | at most 0.05 | $(rss ctr_clean) |"
# versus INPUT DESCRIPTION TARGET: the table row of a broken capture.
versus() {
  echo "| $2 ($(breaks "$1") breaks) | $(m "ctr_$1") | printf per line | $(m "ref_$1") | $(ratio "ctr_$1" "ref_$1") | $3 | $(rss "ctr_$1") |"
}
versus zeros "zero bytes, 100 MiB" "at most 0.167"
versus random "random bytes, 100 MiB" ""
versus breaks4k "break every 4 KiB, 1 GiB" ""
echo
echo "| ctrverify on | ctrverify | yardstick | yardstick time | ratio | target | ctrverify peak RSS |"
echo "|---|---|---|---|---|---|---|"
echo "| clean counter, 1 GiB file | $(m ver_clean) | dd bs=1M | $(m dd_clean) | $(ratio ver_clean dd_clean) | at most 1.6 | $(rss ver_clean) |"
echo "| clean counter, 1 GiB from cat | $(m ver_pipe) | cat \| dd bs=1M | $(m catdd_clean) | $(ratio ver_pipe catdd_clean) | at most 1.3 | $(rss ver_pipe) |"
echo "| clean counter, 1 GiB file, --duration --interval=0.1 --timestamps | $(m ver_limits) | dd bs=1M | $(m dd_clean) | $(ratio ver_limits dd_clean) | at most 1.6 | $(rss ver_limits) |"
echo "| clean counter, 1 GiB from cat, the same options | $(m ver_limits_pipe) | cat \| dd bs=1M | $(m catdd_clean) | $(ratio ver_limits_pipe catdd_clean) | at most 1.3 | $(rss ver_limits_pipe) |"
echo "| zero bytes, 100 MiB, lines shown | $(m ver_zeros) | printf per line | $(m ref_zeros) | $(ratio ver_zeros ref_zeros) | at most 0.167 | $(rss ver_zeros) |"
echo "| clean 32-bit counter, 1 GiB file, -w 32 | $(m ver32_clean) | dd bs=1M | $(m dd_clean32) | $(ratio ver32_clean dd_clean32) | at most 1.6 | $(rss ver32_clean) |"
echo "| clean 32-bit counter, 1 GiB from cat, -w 32 | $(m ver32_pipe) | cat \| dd bs=1M | $(m catdd_clean32) | $(ratio ver32_pipe catdd_clean32) | at most 1.3 | $(rss ver32_pipe) |"
echo "| zero bytes, 100 MiB, -w 32 (every word a break) | $(m ver32_zeros) | the same at 8 bits | $(m ver_zeros) | $(ratio ver32_zeros ver_zeros) | at most 1 | $(rss ver32_zeros) |"
echo "| random bytes, 100 MiB, -w 32 -q (every byte offset tried) | $(m ver32_random) | the same at 8 bits | $(m ver_random) | $(ratio ver32_random ver_random) | at most 3 | $(rss ver32_random) |"
echo "| --json and --explain at widths 8 to 64 (memory) | | | | | at most 4 MiB | $(rss ver_mem) |"
echo "| clean PRBS31, 1 GiB file | $(m prbs31) | dd bs=1M | $(m dd_prbs31) | $(ratio prbs31 dd_prbs31) | at most 1.6 | $(rss prbs31) |"
echo "| clean PRBS31, 1 GiB from cat | $(m prbs31_pipe) | cat \| dd bs=1M | $(m catdd_prbs31) | $(ratio prbs31_pipe catdd_prbs31) | at most 1.3 | $(rss prbs31_pipe) |"
echo "| clean PRBS7, 1 GiB file | $(m prbs7) | dd bs=1M | $(m dd_prbs31) | $(ratio prbs7 dd_prbs31) | at most 1.6 | $(rss prbs7) |"
echo "| clean PRBS23, 1 GiB file | $(m prbs23) | dd bs=1M | $(m dd_prbs31) | $(ratio prbs23 dd_prbs31) | at most 1.6 | $(rss prbs23) |"
echo "| PRBS31 with a bit error ratio of 1e-6, 1 GiB file | $(m prbs31e) | the clean one | $(m prbs31) | $(ratio prbs31e prbs31) | at most 1.2 | $(rss prbs31e) |"
if [ -n "$also" ]; then
  echo
  echo "| input | $also | release build | ratio |"
  echo "|---|---|---|---|"
  for f in clean zeros random breaks4k; do echo "| $f | $(m "also_$f") | $(m "ctr_$f") | $(ratio "also_$f" "ctr_$f") |"; done
fi
rm -f rss.tmp cpu.tmp
