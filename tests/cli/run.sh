#!/usr/bin/env bash
# Golden command-line tests: each case_* function builds its inputs in a fresh
# scratch directory, runs the tool and compares stdout byte for byte, stderr
# and the exit status.
#   run.sh CTRCHECK CASE      (exit 0 pass, 1 fail, 77 skipped)
set -u
bin=$1
name=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
fail=0

# counter N: a perfect counter of N bytes starting at 1 (1, 2, ..., 255, 0, 1, ...).
counter() {
  if [ ! -f "$scratch/.cycle" ]; then
    local i s=""
    for i in $(seq 1 255) 0; do s+=$(printf '\\%03o' "$i"); done
    printf "$s" > "$scratch/.cycle"
    # Doubling keeps the counter continuous: 256 divides every length.
    for i in $(seq 1 14); do cat "$scratch/.cycle" "$scratch/.cycle" > "$scratch/.c2"; mv "$scratch/.c2" "$scratch/.cycle"; done
  fi
  head -c "$1" "$scratch/.cycle"
}

# bytes V...: the given decimal byte values.
bytes() { local v; for v in "$@"; do printf "\\$(printf '%03o' "$v")"; done; }

# setbyte FILE POS VALUE: overwrite the byte at 1-based POS.
setbyte() { bytes "$3" | dd of="$1" bs=1 seek=$(($2 - 1)) conv=notrunc status=none; }

# expect STATUS STDOUT STDERR -- ARGS...: run the tool and compare. STDERR is
# the exact text without its newline, or "" for none.
expect() {
  local want_status=$1 want_out=$2 want_err=$3
  shift 4
  "$bin" "$@" > out.txt 2> err.txt < /dev/null
  local status=$?
  printf '%s' "$want_out" > want.txt
  if ! cmp -s want.txt out.txt; then
    echo "FAIL [$*]: stdout differs"; diff want.txt out.txt | head -20; fail=1
  fi
  local got_err; got_err=$(cat err.txt)
  if [ "$got_err" != "$want_err" ]; then
    echo "FAIL [$*]: stderr is '$got_err', want '$want_err'"; fail=1
  fi
  if [ "$status" -ne "$want_status" ]; then
    echo "FAIL [$*]: status $status, want $want_status"; fail=1
  fi
}

nl=$'\n'
# summary for a perfect counter of the given size with the given error count
laenge() { printf 'Laenge = %s Bytes\n' "$(($1 - 1))"; }

# --- input selection ----------------------------------------------------

case_default_file() {
  bytes 254 255 7 8 255 0 > capture.dat
  expect 0 "FILE = capture.dat${nl}Laenge = 5 Bytes${nl}0 254 @ 1${nl}8 255 @ 5${nl}0.000 MBytes gelesen, 2 Fehler${nl}" "" --
}

case_no_filename() {
  counter 10 > capture.dat
  counter 10 > a.dat
  expect 0 "NO FILENAME!${nl}" "" -- -i
  expect 0 "NO FILENAME!${nl}" "" -- word -i
  expect 0 "NO FILENAME!${nl}" "" -- -i a.dat -i
}

case_name_taken_whatever_it_is() {
  counter 3 > ./-i
  counter 5 > ./-x
  expect 0 "Laenge = 2 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" "" -- -i -i
  expect 0 "Laenge = 4 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" "" -- -i -x
}

case_last_i_decides() {
  bytes 1 2 4 > a.dat
  bytes 1 2 2 3 > b.dat
  expect 0 "Laenge = 3 Bytes${nl}2 2 @ 3${nl}0.000 MBytes gelesen, 1 Fehler${nl}" "" -- -i a.dat -i b.dat
  expect 0 "Laenge = 2 Bytes${nl}2 4 @ 3${nl}0.000 MBytes gelesen, 1 Fehler${nl}" "" -- -i nope.dat -i a.dat
  expect 0 "Laenge = 2 Bytes${nl}2 4 @ 3${nl}0.000 MBytes gelesen, 1 Fehler${nl}" "" -- -i a.dat more words -x
}

case_not_the_option() {
  bytes 5 6 7 > capture.dat
  bytes 1 2 3 > a.dat
  local want="FILE = capture.dat${nl}Laenge = 2 Bytes${nl}0 5 @ 1${nl}0.000 MBytes gelesen, 1 Fehler${nl}"
  expect 0 "$want" "" -- -I a.dat
  expect 0 "$want" "" -- --i a.dat
  expect 0 "$want" "" -- -ia.dat
  expect 0 "$want" "" -- a.dat
}

case_cannot_open() {
  counter 10 > capture.dat
  expect 1 "" "ctrcheck: cannot open 'nope.dat': No such file or directory" -- -i nope.dat
  expect 1 "" "ctrcheck: cannot open '': No such file or directory" -- -i ""
  expect 1 "" "ctrcheck: cannot open 'a.dat': No such file or directory" -- -i capture.dat -i a.dat
  rm capture.dat
  expect 1 "FILE = capture.dat${nl}" "ctrcheck: cannot open 'capture.dat': No such file or directory" --
}

# --- sizes and the read schedule ---------------------------------------------

case_sizes() {
  local s mb
  for s in 1:0.000 2:0.000 525:0.000 526:0.001 1000:0.001 1001:0.001 1002:0.001 2001:0.002 \
           2002:0.002 65537:0.062 1048577:1.000 2621441:2.500; do
    counter "${s%%:*}" > c.dat
    mb=${s#*:}
    expect 0 "$(laenge "${s%%:*}")${nl}${mb} MBytes gelesen, 0 Fehler${nl}" "" -- -i c.dat
  done
}

case_breaks_across_blocks() {
  # One corrupted byte each: inside the first block, on both sides of the
  # first block boundary, at the start of the byte phase and in the last byte.
  counter 2002 > c.dat
  setbyte c.dat 500 7
  setbyte c.dat 1000 7
  setbyte c.dat 1001 9
  setbyte c.dat 2001 7
  setbyte c.dat 2002 9
  local want="Laenge = 2001 Bytes${nl}"
  want+="243 7 @ 500${nl}7 245 @ 501${nl}"
  want+="231 7 @ 1000${nl}7 9 @ 1001${nl}9 234 @ 1002${nl}"
  want+="208 7 @ 2001${nl}7 9 @ 2002${nl}"
  expect 0 "${want}0.002 MBytes gelesen, 7 Fehler${nl}" "" -- -i c.dat
}

case_broken_throughout() {
  head -c 3000 /dev/zero > z.dat
  local want i
  want="Laenge = 2999 Bytes${nl}"
  for i in $(seq 1 3000); do want+="0 0 @ $i${nl}"; done
  expect 0 "${want}0.003 MBytes gelesen, 3000 Fehler${nl}" "" -- -i z.dat
}

# --- inputs that cannot be verified ------------------------------------------

case_empty_input() {
  : > e.dat
  expect 1 "" "ctrcheck: 'e.dat': file is empty" -- -i e.dat
  expect 1 "" "ctrcheck: '/dev/null': file is empty" -- -i /dev/null
}

case_directory() {
  mkdir d
  expect 1 "" "ctrcheck: cannot determine the size of 'd': Is a directory" -- -i d
}

case_fifo() {
  mkfifo f
  ( bytes 1 2 3 > f ) 2> /dev/null &
  expect 1 "" "ctrcheck: cannot determine the size of 'f': Illegal seek" -- -i f
  wait
}

case_short_read() {
  # sysfs files claim 4096 bytes and deliver fewer.
  local f n
  for f in /sys/kernel/mm/transparent_hugepage/enabled /sys/devices/system/cpu/online /sys/kernel/profiling; do
    [ -r "$f" ] && [ "$(stat -L -c %s "$f")" = 4096 ] || continue
    n=$(wc -c < "$f")
    [ "$n" -lt 4096 ] || continue
    expect 1 "Laenge = 4095 Bytes${nl}$(ctr_breaks_of "$f")${nl}" \
      "ctrcheck: '$f': byte $((n + 1)) of 4096 could not be read: unexpected end of file" -- -i "$f"
    return
  done
  echo "no short sysfs file here"; exit 77
}

# Break lines a straightforward check finds in FILE (for inputs whose
# contents the test does not choose).
ctr_breaks_of() {
  od -An -v -tu1 "$1" | tr -s ' ' '\n' | sed '/^$/d' | awk '
    { b = $1 + 0; pos++; if (b != prev + 1 && prev != 255) printf "%d %d @ %d\n", prev, b, pos; prev = b }'
}

# --- the report cannot be written -----------------------------------------------

case_write_error() {
  [ -w /dev/full ] || { echo "no /dev/full"; exit 77; }
  counter 100 > c.dat
  "$bin" -i c.dat > /dev/full 2> err.txt; local s=$?
  [ "$s" -eq 1 ] || { echo "FAIL: status $s"; fail=1; }
  [ "$(cat err.txt)" = "ctrcheck: write error: No space left on device" ] || { echo "FAIL: stderr $(cat err.txt)"; fail=1; }
  bytes 1 > capture.dat
  "$bin" -i > /dev/full 2> err.txt; s=$?
  [ "$s" -eq 1 ] && [ -s err.txt ] || { echo "FAIL: NO FILENAME! to /dev/full: status $s"; fail=1; }
  "$bin" -i c.dat >&- 2> err.txt; s=$?
  [ "$s" -eq 1 ] && grep -q '^ctrcheck: write error: ' err.txt || { echo "FAIL: closed stdout: status $s"; fail=1; }
}

# --- large captures (label "large": minutes and several GiB of disk) -----------

case_large_beyond_4gib() {
  # 4.5 GiB of perfect counter with one corrupted byte past 2^32.
  counter $((4 << 20)) > m4.dat
  for _ in $(seq 1 1152); do cat m4.dat; done > big.dat
  rm m4.dat
  setbyte big.dat 4294968296 7
  expect 0 "Laenge = 4831838207 Bytes${nl}231 7 @ 4294968296${nl}7 233 @ 4294968297${nl}4608.000 MBytes gelesen, 2 Fehler${nl}" "" -- -i big.dat
}

case_large_more_breaks_than_31_bits() {
  # Every byte of a sparse file of zeros is a break: 2^31 + 10 of them.
  truncate -s 2147483658 z.dat
  "$bin" -i z.dat 2> err.txt | tail -n 2 > out.txt
  local status=${PIPESTATUS[0]}
  printf '0 0 @ 2147483658\n2048.000 MBytes gelesen, 2147483658 Fehler\n' > want.txt
  cmp -s want.txt out.txt || { echo "FAIL: end of output:"; cat out.txt; fail=1; }
  [ ! -s err.txt ] || { echo "FAIL: stderr: $(cat err.txt)"; fail=1; }
  [ "$status" -eq 0 ] || { echo "FAIL: status $status"; fail=1; }
}

"case_$name" || fail=1
exit $fail
