#!/usr/bin/env bash
# Golden command-line tests: each case_* function builds its inputs in a fresh
# scratch directory, runs the tool and compares stdout and stderr byte for
# byte, and the exit status.
#   run.sh CTRCHECK CASE      (exit 0 pass, 1 fail, 77 skipped)
# The verify_* cases run the companion, CTRVERIFY, by default the ctrverify
# beside CTRCHECK.
# For a cross build, CTRCHECK_RUNNER is the emulator command (wine, qemu-...)
# and CTRCHECK_TARGET=windows says that every line ends in CR LF there.
set -u
bin=$1
name=$2
verify_bin=${CTRVERIFY:-${bin%ctrcheck*}ctrverify${bin##*ctrcheck}}
runner=${CTRCHECK_RUNNER:-}
target=${CTRCHECK_TARGET:-posix}
# Names that are not ASCII reach the emulator as UTF-8.
[ -z "$runner" ] || export LC_ALL=C.UTF-8
top=$(cd "$(dirname "$0")/../.." && pwd)
sample=$top/examples/capture.dat
scratch=$(mktemp -d)
# Helpers and devices do not outlive the case, also when it is stopped.
cleanup() { kill -KILL $(jobs -p) 2> /dev/null; [ -z "${loop_dev:-}" ] || losetup -d "$loop_dev"; rm -rf "$scratch"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
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

# words BYTES big|little V...: the words V of BYTES bytes each, in that order.
words() {
  local n=$1 order=$2 v j; shift 2
  for v in "$@"; do
    for ((j = 0; j < n; j++)); do
      if [ "$order" = big ]; then bytes $(((v >> (8 * (n - 1 - j))) & 255)); else bytes $(((v >> (8 * j)) & 255)); fi
    done
  done
}

# prbs N K BYTES msb|lsb INVERTED [BIT...]: BYTES of the PRBS whose bits each are
# the XOR of the bits N and K before them, a byte from its msb or lsb,
# inverted (1) or not (0), the bits numbered BIT (from 0) flipped.
prbs() {
  printf '%b' "$(awk -v n="$1" -v k="$2" -v len="$3" -v lsb="$([ "$4" = lsb ] && echo 1 || echo 0)" -v inv="$5" \
    -v flips="${*:6}" 'BEGIN { split(flips, f, " "); for (i in f) flip[f[i]] = 1
      for (i = 0; i < len * 8; i++) b[i] = i < n ? i % 3 == 0 : (b[i - n] + b[i - k]) % 2
      for (j = 0; j < len; j++) { v = 0
        for (t = 0; t < 8; t++) v += ((b[8 * j + t] + inv + ((8 * j + t) in flip)) % 2) * 2 ^ (lsb ? t : 7 - t)
        printf "\\0%o", v } }')"
}

# setbyte FILE POS VALUE: overwrite the byte at 1-based POS.
setbyte() { bytes "$3" | dd of="$1" bs=1 seek=$(($2 - 1)) conv=notrunc status=none; }

# ctr ARGS...: the tool, through the emulator where there is one, stopped
# after CTR_SECONDS (a case that must not wait sets it low).
CTR_SECONDS=120
ctr() { timeout "$CTR_SECONDS" $runner "$bin" "$@"; }

# posix_only: skips a case whose inputs (FIFOs, /dev files, sysfs) do not
# exist on the target; an emulator would only pass them through by accident.
posix_only() { [ "$target" != windows ] || { echo "no such inputs on Windows"; exit 77; }; }

# lines TEXT: TEXT with the target's line ends.
lines() { if [ "$target" = windows ]; then printf '%s' "${1//$'\n'/$'\r\n'}"; else printf '%s' "$1"; fi; }

# same WHAT WANT_TEXT FILE: compares FILE with the text, line ends as on the target.
same() {
  lines "$2" > want.txt
  if ! cmp -s want.txt "$3"; then
    echo "FAIL [$args]: $1 differs (want, got)"; od -c want.txt | head -8; od -c "$3" | head -8; fail=1
  fi
}

# expect STATUS STDOUT STDERR -- ARGS...: run the tool and compare. STDERR is
# the exact text without its last newline, or "" for none.
expect() {
  local want_status=$1 want_out=$2 want_err=$3
  shift 4
  args="$*"
  ctr "$@" > out.txt 2> err.txt < /dev/null
  local status=$?
  same stdout "$want_out" out.txt
  same stderr "${want_err:+$want_err$nl}" err.txt
  if [ "$status" -ne "$want_status" ]; then
    echo "FAIL [$*]: status $status, want $want_status"; fail=1
  fi
}

nl=$'\n'
args=""
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
  [ "$target" != windows ] || return 0
  (ulimit -n 32; expect 0 "Laenge = 2 Bytes${nl}2 4 @ 3${nl}0.000 MBytes gelesen, 1 Fehler${nl}" "" -- $(printf -- '-i a.dat %.0s' $(seq 100)); exit $fail) || fail=1  # Each replaced stream is closed: far more -i than descriptors; and the capture may get descriptor 0.
  ctr -i a.dat <&- > out.txt 2>&1
  same "report, stdin closed" "Laenge = 2 Bytes${nl}2 4 @ 3${nl}0.000 MBytes gelesen, 1 Fehler${nl}" out.txt
}

case_not_the_option() {
  bytes 5 6 7 > capture.dat
  bytes 1 2 3 > a.dat
  local want="FILE = capture.dat${nl}Laenge = 2 Bytes${nl}0 5 @ 1${nl}0.000 MBytes gelesen, 1 Fehler${nl}"
  expect 0 "$want" "" -- -I a.dat
  expect 0 "$want" "" -- --i a.dat
  expect 0 "$want" "" -- -ia.dat
  expect 0 "$want" "" -- a.dat
  [ -n "$runner" ] || { (exec -a -i "$bin" > out.txt); same "argv[0] -i" "$want" out.txt; }  # the program path is not an argument
}

case_cannot_open() {
  counter 10 > capture.dat
  expect 1 "" "ctrcheck: cannot open 'nope.dat': No such file or directory" -- -i nope.dat
  expect 1 "" "ctrcheck: cannot open '': No such file or directory" -- -i ""
  expect 1 "" "ctrcheck: cannot open 'a.dat': No such file or directory" -- -i capture.dat -i a.dat
  rm capture.dat
  expect 1 "FILE = capture.dat${nl}" "ctrcheck: cannot open 'capture.dat': No such file or directory" --
  ctr > out.txt 2>&1  # both streams in the order things happened
  same "stdout and stderr" "FILE = capture.dat${nl}ctrcheck: cannot open 'capture.dat': No such file or directory${nl}" out.txt
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

case_read_and_write_sizes() {
  # The sizes the README promises, seen in the system calls: both tools read
  # 256 KiB at a time and write the report in whole 64 KiB staging buffers.
  posix_only
  [ -z "$runner" ] && command -v strace > /dev/null || { echo "needs strace, and no emulator"; exit 77; }
  truncate -s 64M z.dat
  local tool fd reads writes
  export ASAN_OPTIONS=detect_leaks=0  # the leak check cannot work under strace
  for tool in "$bin -i" "$verify_bin"; do
    strace -o trace.txt -e trace=read,write $tool z.dat > /dev/null
    fd=$(sed -n 's/^read(\([0-9]*\), "\\0\\0.*/\1/p' trace.txt | head -n 1)
    reads=$(sed -n "s/^read($fd, .*, \([0-9]*\)) = .*/\1/p" trace.txt | sort -u)
    writes=$(sed -n 's/^write(1, .*, \([0-9]*\)) = .*/\1/p' trace.txt | sort -n | uniq -c | sort -rn | awk 'NR == 1 { print $2 }')
    [ "$reads" = 262144 ] && [ "$writes" -gt $((65536 - 64)) ] && [ "$writes" -le 65536 ] ||
      { echo "FAIL [$tool]: reads of $reads bytes, most writes of $writes"; fail=1; }
  done
  # Records every 10 us after a long name, and JSON objects that list 100
  # breaks and events of random 64-bit words: written in whole lines.
  local long=$(printf 'z%.0s' $(seq 200)) args
  ln -s /dev/zero "$long"
  head -c 8000 /dev/urandom > r.dat
  for args in "-w 64 -q --interval=0.00001 --duration=0.8 $long $long" "--json -w 64 -m 100 --timestamps r.dat r.dat r.dat r.dat"; do
    strace -o trace.txt -s 70000 -e trace=write "$verify_bin" $args > /dev/null
    ! grep '^write(1, ' trace.txt | grep -q -v '\\n", [0-9]*) = [0-9]*$' ||
      { echo "FAIL [${args:0:40}]: a write ends inside a line: $(grep '^write(1, ' trace.txt | grep -v '\\n", [0-9]*) = [0-9]*$' | tail -c 200)"; fail=1; }
  done
  # A silent link: a few waits, no busy loop; no progress line once switched off.
  (exec sleep 2) | strace -o trace.txt -e trace=poll,ppoll "$verify_bin" --progress --no-progress --duration=1.5 - > /dev/null 2> err.txt
  [ "$(grep -c 'poll(' trace.txt)" -lt 10 ] && [ "$(cat err.txt)" = "ctrverify: -: empty: nothing was checked" ] ||
    { echo "FAIL: a silent link: $(grep -c 'poll(' trace.txt) waits; $(cat err.txt)"; fail=1; }
}

# --- inputs that cannot be verified ------------------------------------------

case_empty_input() {
  : > e.dat
  expect 1 "" "ctrcheck: 'e.dat': file is empty" -- -i e.dat
}

case_directory() {
  mkdir d
  expect 1 "" "ctrcheck: cannot determine the size of 'd': Is a directory" -- -i d
  counter 3 > c.dat
  expect 0 "Laenge = 2 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" "" -- -i d -i c.dat
}

# Only regular files and block devices have a size; the kind of file is
# decided before any size is believed.
case_devices() {
  local dev
  if [ "$target" = windows ]; then
    expect 1 "" "ctrcheck: cannot determine the size of 'NUL': Is a character device" -- -i NUL
    return
  fi
  for dev in /dev/null /dev/zero /dev/urandom; do
    expect 1 "" "ctrcheck: cannot determine the size of '$dev': Is a character device" -- -i "$dev"
  done
  expect 1 "" "ctrcheck: cannot determine the size of '/proc/self/ns/net': Illegal seek" -- -i /proc/self/ns/net
  ! mknod nodev c 240 0 2> /dev/null || expect 1 "" "ctrcheck: cannot open 'nodev': No such device or address" -- -i nodev
  counter 1024 > c.dat  # a loop device and a socket, where they can be made
  loop_dev=$(losetup -f --show -r c.dat 2> /dev/null) && expect 0 "$(laenge 1024)${nl}0.001 MBytes gelesen, 0 Fehler${nl}" "" -- -i "$loop_dev"
  command -v python3 > /dev/null || { echo "no python3 for the socket row"; exit $((fail ? 1 : 77)); }
  python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("s")' && expect 1 "" "ctrcheck: cannot determine the size of 's': Is a socket" -- -i s || { echo "FAIL: no socket made"; fail=1; }
}

case_fifo() {
  posix_only
  mkfifo f
  counter 3 > c.dat
  local CTR_SECONDS=10
  # Nobody writes: the tool must not wait for a writer that never comes.
  expect 1 "" "ctrcheck: cannot determine the size of 'f': Is a FIFO or pipe" -- -i f
  expect 0 "Laenge = 2 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" "" -- -i f -i c.dat
  # Somebody writes.
  sh -c 'printf abc > f' 2> /dev/null &
  expect 1 "" "ctrcheck: cannot determine the size of 'f': Is a FIFO or pipe" -- -i f
  kill -PIPE $! 2> /dev/null  # ends it whatever it waits for, and bash reports no such end
  wait
  ctr -i /dev/stdin > out.txt 2> err.txt < <(printf abc)
  [ "$(cat err.txt)" = "ctrcheck: cannot determine the size of '/dev/stdin': Is a FIFO or pipe" ] ||
    { echo "FAIL: pipe on stdin: $(cat err.txt)"; fail=1; }
  command -v python3 > /dev/null || { echo "no python3 for the lease rows"; exit $((fail ? 1 : 77)); }
  # A file under another's write lease is read once the holder gives it up on
  # the kernel's signal; a FIFO renamed over it then is named as one at once.
  lease_row() {  # GIVE_UP STATUS STDOUT STDERR: a holder that runs GIVE_UP on the signal
    python3 -c 'import fcntl, os, signal, time; fd = os.open("c.dat", os.O_RDWR); signal.signal(signal.SIGIO, lambda *_: '"$1"'); fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_WRLCK); open("ready", "w").close(); time.sleep(20)' 2> /dev/null &
    for _ in $(seq 50); do [ -e ready ] || sleep 0.1; done
    [ ! -e ready ] || expect "$2" "$3" "$4" -- -i c.dat
    kill $! 2> /dev/null; wait; rm -f ready
  }
  lease_row 'fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_UNLCK)' 0 "Laenge = 2 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" ""
  lease_row "os.mkfifo('g') or os.rename('g', 'c.dat')" 1 "" "ctrcheck: cannot determine the size of 'c.dat': Is a FIFO or pipe"
  rm c.dat; counter 3 > c.dat
  lease_row "os.unlink('c.dat')" 1 "" "ctrcheck: cannot open 'c.dat': No such file or directory"  # at once, not after the break time
  rm -f c.dat; counter 3 > c.dat  # without /proc/sys/fs (a chroot, a container) the wait keeps the open's own reason
  printf '#!/bin/sh\nmount -t tmpfs none /proc/sys/fs && echo "$1" > /proc/sys/fs/lease-break-time && shift && exec "$@"\n' > hide && chmod +x hide
  unshare -m ./hide x true 2> /dev/null || return $fail
  runner="unshare -m ./hide garbage $runner" lease_row 'fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_UNLCK)' 0 "Laenge = 2 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}" ""
  # A lease-break time of 0 (here, not the kernel's): a holder that never gives up is given up on after 1 s.
  runner="unshare -m ./hide 0 $runner" lease_row 'None' 1 "" "ctrcheck: cannot open 'c.dat': Resource temporarily unavailable"
}

# Names are shown as they are, but no control character reaches the terminal.
case_names() {
  counter 2 > "Messung_ü 1.dat"
  counter 2 > "测量.dat"
  local ok="Laenge = 1 Bytes${nl}0.000 MBytes gelesen, 0 Fehler${nl}"
  expect 0 "$ok" "" -- -i "Messung_ü 1.dat"
  expect 0 "$ok" "" -- -i "测量.dat"
  expect 1 "" "ctrcheck: cannot open 'fehlt_ü 测量.dat': No such file or directory" -- -i "fehlt_ü 测量.dat"
  # Windows allows no control characters in names at all.
  local why="No such file or directory"
  [ "$target" != windows ] || why="Invalid argument"
  expect 1 "" "ctrcheck: cannot open 'x\\n\\x1b[31mctrcheck: all good': $why" -- -i $'x\n\e[31mctrcheck: all good'
  expect 1 "" "ctrcheck: cannot open 'a\\tb\\rc\\x7f\\xc2\\x9b\\a\\b\\v\\fd': $why" -- -i $'a\tb\rc\x7f\xc2\x9b\a\b\v\fd'
  # Separators and bidirectional controls could break or reorder the line; their neighbours pass.
  expect 1 "" "ctrcheck: cannot open 'a\\xe2\\x80\\xa8\\xe2\\x80\\xa9\\xe2\\x80\\xaa\\xe2\\x80\\xae\\xe2\\x81\\xa6\\xe2\\x81\\xa9\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c"$'\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa\xe2\x80\x8d\xd8\x9b'"': No such file or directory" -- -i $'a\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaa\xe2\x80\xae\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c\xe2\x80\xa7\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa\xe2\x80\x8d\xd8\x9b'
  local kept=$'\xc2\xa9\xdf\x80\xe0\xa4\x85\xef\xbc\xa1\xf4\x8f\xbf\xbd\xf1\x80\x80\x80\xc2\xbf\xe4\xb8\x80\xe2\x82\xbf'  # every length and lead range of well-formed UTF-8
  expect 1 "" "ctrcheck: cannot open '$kept': No such file or directory" -- -i "$kept"
  [ "$target" != windows ] || return 0
  local long=$'\x1f\x1a\xc2\x80\xc2\x9f\xc2A\x9b\xff\xed\xa0\x80\xc0\xaf\xe0\x80\xaf\xf0\x8f\xbf\xbf\xf4\x90\x80\x80\xe2\x82\xf0\x9d\x84\x9eab' shown  # Bytes outside well-formed UTF-8 are escaped; a long name is cut between characters.
  shown='\x1f\x1a\xc2\x80\xc2\x9f\xc2A\x9b\xff\xed\xa0\x80\xc0\xaf\xe0\x80\xaf\xf0\x8f\xbf\xbf\xf4\x90\x80\x80\xe2\x82𝄞ab'
  expect 1 "" "ctrcheck: cannot open '\\xf5\\x80\\x80\\x80\\x80\\x80\\x80\\x80\\xe2\\x82Ax\\xe2\\x82': No such file or directory" -- -i $'\xf5\x80\x80\x80\x80\x80\x80\x80\xe2\x82Ax\xe2\x82'  # cut short at the end too
  long+=$(printf 'ü%.0s' $(seq 5000)) shown+=$(printf 'ü%.0s' $(seq 4033))...
  expect 1 "" "ctrcheck: cannot open '$shown': File name too long" -- -i "$long"
  long=aaaaaaa$(printf '\xe2\x80\xae%.0s' $(seq 690)) shown=aaaaaaa$(printf '\\xe2\\x80\\xae%.0s' $(seq 682))...  # the widest escape last before the cut
  expect 1 "" "ctrcheck: cannot open '$shown': File name too long" -- -i "$long"
}

case_short_read() {
  posix_only
  # sysfs files claim 4096 bytes and deliver fewer. The break lines are those
  # of what did arrive, as a copy of it in a regular file shows.
  local f n
  for f in /sys/kernel/mm/transparent_hugepage/enabled /sys/devices/system/cpu/online /sys/kernel/profiling; do
    [ -r "$f" ] && [ "$(stat -L -c %s "$f")" = 4096 ] || continue
    n=$(wc -c < "$f")
    [ "$n" -lt 4096 ] || continue
    cat "$f" > copy.dat
    ctr -i copy.dat | sed '1d;$d' > breaks.txt
    expect 1 "Laenge = 4095 Bytes${nl}$(cat breaks.txt)${nl}" \
      "ctrcheck: '$f': byte $((n + 1)) of 4096 could not be read: unexpected end of file" -- -i "$f"
    return
  done
  echo "no short sysfs file here"; exit 77
}

# ended PID: waits up to 10 s for PID to end (then kills it); its status in $ended.
ended() {
  for _ in $(seq 100); do kill -0 "$1" 2> /dev/null && sleep 0.1; done
  kill -KILL "$1" 2> /dev/null && echo "FAIL: $1 did not end"
  wait "$1"
  ended=$?
}

case_signals() {
  posix_only
  truncate -s 4G z.dat  # every byte a break: it runs far longer than this case
  set -m  # background jobs keep SIGINT
  local sig p
  for sig in USR1,INT:130 TERM:143 HUP:129; do
    $runner "$bin" -i z.dat > out.txt 2> err.txt &
    sleep 0.5
    for s in ${sig//,/ }; do kill -"${s%:*}" $!; sleep 0.3; done
    ended $!
    [ "$ended" = "${sig#*:}" ] || { echo "FAIL: $sig: status $ended"; fail=1; }
    # The lines found are all there, up to the byte where it stopped; no summary.
    p=$(tail -n 1 out.txt) p=${p#0 0 @ }
    [ "$(head -n 1 out.txt)" = "Laenge = 4294967295 Bytes" ] && grep -q -x "ctrcheck: interrupted at byte $p of 4294967296" err.txt ||
      { echo "FAIL: $sig: $(head -n 1 out.txt) ... $p; $(cat err.txt)"; fail=1; }
    [ "$sig" != "${sig#USR1}" ] || continue  # a status line on request, and the run goes on
    [ "$(grep -c -E '^ctrcheck: ([0-9]+) of 4294967296 bytes \([0-9]+\.[0-9]%\), \1 breaks so far$' err.txt)" = 1 ] || { echo "FAIL: not one status line"; fail=1; }
  done
  set +m
}

# --- the report cannot be written -----------------------------------------------

# fails_to_write WANT_STATUS WANT_STDERR ARGS...: the tool with stdout on /dev/full.
fails_to_write() {
  local want_status=$1 want_err=$2 s
  shift 2
  ctr "$@" > /dev/full 2> err.txt; s=$?
  [ "$s" -eq "$want_status" ] || { echo "FAIL [$*] > /dev/full: status $s"; fail=1; }
  [ "$(cat err.txt)" = "$want_err" ] || { echo "FAIL [$*] > /dev/full: stderr $(cat err.txt)"; fail=1; }
}

case_write_error() {
  head -c 1000000 /dev/zero > z.dat  # a reader that goes away: SIGPIPE, or on Windows the true reason
  ctr -i z.dat 2> err.txt | head -c 1 > /dev/null; local status=${PIPESTATUS[0]} args="-i z.dat | head -c 1"
  [ "$target" = windows ] && same stderr "ctrcheck: write error: Broken pipe$nl" err.txt || same stderr "" err.txt
  [ "$status" -eq "$([ "$target" = windows ] && echo 1 || echo 141)" ] || { echo "FAIL: reader gone: status $status"; fail=1; }
  [ "$target" != windows ] || return 0  # nor a /dev/full
  [ -w /dev/full ] || { echo "no /dev/full"; exit 77; }
  counter 100 > c.dat
  local full="ctrcheck: write error: No space left on device"
  fails_to_write 1 "$full" -i c.dat
  fails_to_write 1 "$full" -i
  # After another complaint the reason is still the real one.
  fails_to_write 1 "ctrcheck: cannot open 'capture.dat': No such file or directory${nl}$full"
  ctr -i c.dat >&- 2> err.txt; local s=$?
  [ "$s" -eq 1 ] && grep -q '^ctrcheck: write error: ' err.txt || { echo "FAIL: closed stdout: status $s"; fail=1; }
}

# --- ctrverify ------------------------------------------------------------------

case_verify_results() {
  bin=$verify_bin
  bytes 1 2 4 5 > a.dat
  bytes 55 56 57 > m.dat
  bytes 255 255 255 > f.dat
  bytes 0 1 0 2 0 4 7 > w.dat
  bytes 9 > o.dat
  cp a.dat ./-x.dat
  cp "$sample" s.dat
  counter 1048580 > c.dat
  setbyte c.dat 1048577 7  # the first byte of the second read
  : > e.dat
  mkdir d
  words 2 big 1 2 3 5 4 6 7 8 9 > late.dat; words 4 little 1 2 3 0 0 0 7 8 9 10 > stuck.dat
  words 8 big 1 2 3 9 9 4 5 6 7 > ins.dat; words 2 little 1 2 3 4 5 0 1 2 3 4 > rs.dat; bytes 1 2 5 6 3 4 7 8 > l1.dat
  words 2 little $(for i in $(seq 1 40); do echo $((i & ~8)); done) > line.dat; words 4 big $(seq 1 20) > be.dat
  prbs 7 6 200 msb 0 > p7.dat; prbs 7 6 200 msb 0 792 796 > p7e.dat; prbs 9 5 64 lsb 1 > p9.dat
  prbs 31 28 64 msb 0 > p31.dat; { prbs 15 14 100 msb 0; head -c 50 /dev/zero; prbs 15 14 100 msb 0; } > p15.dat
  local p7="p7.dat: 200 bytes, prbs7, 0 bit errors in 1593 bits (BER < 1.9e-03 (95%)), 0 sync losses, msb first"
  local rows row c="c.dat: 1048580 bytes, 2 breaks" ev="events: 0 corrupt, 0 lost (0 words), 0 repeat (0 words)"
  # STATUS|STDOUT|STDERR|ARGS (stdout and stderr lines separated by ";")
  rows=("1|2 4 @ 3;a.dat: 4 bytes, 1 break|-|a.dat"
    "1|0 55 @ 1;m.dat: 3 bytes, 1 break|-|m.dat"
    "0|m.dat: 3 bytes, 0 breaks|-|-s m.dat"
    "1|0 7 @ 1048577;7 2 @ 1048578;$c|-|--any-start -- c.dat"
    "1|0 7 @ 1048577;$c|-|c.dat -m1"
    "1|$c|-|c.dat --qu"
    "2|a.dat: 2 4 @ 3;a.dat: 4 bytes, 1 break;m.dat: 3 bytes, 0 breaks|nope: No such file or directory;d: Is a directory|-sm 5 a.dat nope d m.dat"
    "2|e.dat: 0 bytes, 0 breaks|e.dat: empty: nothing was checked|e.dat"
    "2|-|unrecognized option '--foo';Try 'ctrverify --help' for more information.|a.dat --foo"
    "2|-|option requires an argument -- 'm';Try 'ctrverify --help' for more information.|-m"
    "2|-|invalid number of lines: '-1';Try 'ctrverify --help' for more information.|--max-lines -1 a.dat"
    "2|-|option '--json' doesn't allow an argument;Try 'ctrverify --help' for more information.|--js=1"
    "1|lost @ 3: 1 word;a.dat: 4 bytes, 1 break, events: 0 corrupt, 1 lost (1 word), 0 repeat (0 words)|-|--explain a.dat"
    "1|255 255 @ 2;255 255 @ 3;f.dat: 3 bytes, 2 breaks|-|-s f.dat"
    "0|f.dat: 3 bytes, 0 breaks|-|--wrap any -s f.dat"
    "1|2 4 @ 5;w.dat: 7 bytes, 1 break, 1 byte left over|-|-w16 --endian=big w.dat"
    "1|corrupt @ 3: expected 257, got 512, bits 0,8,9;lost @ 5: 766 words;w.dat: 7 bytes, 2 breaks, 1 byte left over, events: 1 corrupt, 1 lost (766 words), 0 repeat (0 words);w.dat: bit 0 never 1 (a stuck data line?)|-|--width 16 --skip=0 --explain w.dat"
    "1|corrupt @ 10000: expected 16, got 48, bit 5;lost @ 20001: 1 word;s.dat: 40960 bytes, 4 breaks, events: 1 corrupt, 1 lost (1 word), 1 repeat (1 word)|-|--explain -m2 s.dat"
    "0|m.dat: 3 bytes, 0 breaks|-|--skip=1 m.dat"
    "2|o.dat: 1 byte, 0 breaks|o.dat: too short: nothing was checked|-s o.dat"
    "2|-|invalid argument '12' for '-w';Valid arguments are:;  - '8';  - '16';  - '32';  - '64';Try 'ctrverify --help' for more information.|-w 12"
    "2|-|invalid argument 'mid' for '--endian';Valid arguments are:;  - 'little';  - 'big';Try 'ctrverify --help' for more information.|--end=mid"
    "2|-|invalid argument 'x' for '--wrap';Valid arguments are:;  - 'zero';  - 'any';Try 'ctrverify --help' for more information.|--wrap=x"
    "2|-|invalid number of bytes to skip: '-1';Try 'ctrverify --help' for more information.|--skip -1"
    "0|a.dat: 2 bytes, 0 breaks|-|--bytes=2 a.dat"
    "2|2 4 @ 3;a.dat: 4 bytes, 1 break|a.dat: ended after 4 of 9 bytes|--bytes 9 a.dat"
    "1|15 48 @ 10000;s.dat: 10000 bytes, 1 break|-|--max-breaks=1 s.dat"
    "1|-|-|-o r.txt --app a.dat -s m.dat"
    "2|-|invalid number of breaks: '0';Try 'ctrverify --help' for more information.|--max-breaks=0"
    "2|-|invalid number of seconds: '-1';Try 'ctrverify --help' for more information.|--idle-timeout=-1"
    "2|-|invalid number of seconds: '1000000000000000';Try 'ctrverify --help' for more information.|--duration=1000000000000000"
    "1|0 7 @ 1048577;$c|-|--max-lines 1 c.dat"
    "1|2 4 @ 3;-x.dat: 4 bytes, 1 break|-|-- -x.dat"
    "2|-: 0 bytes, 0 breaks;a.dat: 2 4 @ 3;a.dat: 4 bytes, 1 break|-: empty: nothing was checked|- a.dat"
    "0|m.dat: 3 bytes, 0 breaks|-|--progress --no-progress -s m.dat"
    "2|-|unrecognized option '--=1';Try 'ctrverify --help' for more information.|--=1"
    "2|-|invalid option -- 'x';Try 'ctrverify --help' for more information.|-x"
    "2|-|option '--max-lines' requires an argument;Try 'ctrverify --help' for more information.|--max-lines"
    "0|ctrverify 1.1.0|-|--version a.dat"
    "2|-|invalid number of bytes: '0';Try 'ctrverify --help' for more information.|--bytes=0 a.dat"
    "2|2 4 @ 3;a.dat: 4 bytes, 1 break|a.dat: ended after 4 of 18446744073709551615 bytes|--bytes=18446744073709551615 a.dat"
    "2|-|option '--append' requires '--output';Try 'ctrverify --help' for more information.|--append a.dat"
    "1|corrupt @ 10000: expected 16, got 48, bit 5;s.dat: 10000 bytes, 1 break, events: 1 corrupt, 0 lost (0 words), 0 repeat (0 words)|-|--explain --max-breaks=1 s.dat"
    "2|-|d: Is a directory|--interval=1 d"
    "1|late @ 7: 1 word;late.dat: 18 bytes, 3 breaks, $ev, 1 late (1 word)|-|--explain -w 16 --endian=big late.dat"
    "1|stuck @ 13: 3 words of 0;stuck.dat: 40 bytes, 4 breaks, $ev, 1 stuck (3 words)|-|--explain -w 32 stuck.dat"
    "1|inserted @ 25: 2 words of 9;ins.dat: 72 bytes, 3 breaks, $ev, 1 inserted (2 words)|-|--explain -w64 --endian=big ins.dat"
    "1|restart @ 11: from 5 to 0;rs.dat: 20 bytes, 1 break, $ev, 1 restart|-|--explain -w 16 rs.dat"
    "1|lost @ 3: 2 words;late @ 5: 2 words;l1.dat: 8 bytes, 3 breaks, events: 0 corrupt, 1 lost (0 words), 0 repeat (0 words), 1 late (2 words)|-|--explain --lock=1 l1.dat"
    "1|late @ 3: 2 words;l1.dat: 8 bytes, 3 breaks, $ev, 1 late (2 words)|-|--explain l1.dat"
    "1|restart @ 15: from 7 to 0;lost @ 31: 8 words;repeat @ 47: 8 words;lost @ 63: 8 words;repeat @ 79: 8 words;line.dat: 80 bytes, 5 breaks, events: 0 corrupt, 2 lost (16 words), 2 repeat (16 words), 1 restart;line.dat: bit 3 never 1 (a stuck data line?)|-|--explain -w 16 line.dat"
    "1|be.dat: 80 bytes, 2 breaks, 1 byte left over;be.dat: hint: the first 80 bytes are an unbroken counter with --width=32 --endian=big --skip=0|-|-q -w 32 be.dat"
    "0|m.dat: 3 bytes, 0 breaks|-|--first=0x37 m.dat"
    "1|16 1 @ 1;a.dat: 4 bytes, 2 breaks|-|--first=17 -m 1 a.dat"
    "2|-|invalid number of words for lock (1 to 64): '0';Try 'ctrverify --help' for more information.|--lock=0 a.dat"
    "2|-|invalid first word: '256' is wider than the width;Try 'ctrverify --help' for more information.|--first=256 a.dat"
    "2|-|options '--first' and '--any-start' exclude each other;Try 'ctrverify --help' for more information.|-s --first=1 a.dat"
    "2|-|a.dat: input file is output file|-o a.dat m.dat a.dat"
    "0|sync @ 1: msb first;$p7, ES 0, SES 0, EFS 1, UAS 0|-|--pattern=prbs7 p7.dat"
    "0|$p7, ES 0, SES 0, EFS 16, UAS 0|-|--pattern=prbs7 --line-rate=100 --bit-order=msb --invert=no -q p7.dat"
    "1|sync @ 1: msb first;bit errors @ 100: 2 (bits 3,7);p7e.dat: 200 bytes, prbs7, 2 bit errors in 1593 bits (BER 1.3e-03), 0 sync losses, msb first, ES 1, SES 1, EFS 1, UAS 0|-|--pattern=prbs7 --line-rate=1k p7e.dat"
    "0|sync @ 1: lsb first, inverted;p9.dat: 64 bytes, prbs9, 0 bit errors in 503 bits (BER < 6.0e-03 (95%)), 0 sync losses, lsb first, inverted, ES 0, SES 0, EFS 1, UAS 0|-|--pattern=prbs9 p9.dat"
    "0|sync @ 1: msb first;p31.dat: 64 bytes, prbs31, 0 bit errors in 481 bits (BER < 6.2e-03 (95%)), 0 sync losses, msb first, ES 0, SES 0, EFS 1, UAS 0|-|--pattern=prbs31 -w 32 --endian=big p31.dat"
    "1|p15.dat: 250 bytes, prbs15, 32 bit errors in 1643 bits (BER 1.9e-02), 1 sync loss, msb first, ES 1, SES 1, EFS 0, UAS 0|-|--pattern=prbs15 -q p15.dat"
    "2|p7.dat: 200 bytes, prbs31, no sync|p7.dat: no prbs31 found in 200 bytes|--pattern=prbs31 p7.dat"
    "2|m.dat: 3 bytes, prbs7, no sync|m.dat: too short: nothing was checked|--pattern=prbs7 m.dat"
    "2|-|option '--lock' is for a counter, not for a PRBS pattern;Try 'ctrverify --help' for more information.|--lock=2 --pattern=prbs7 p7.dat"
    "2|-|invalid line rate (bits a second, 64 or more): '10';Try 'ctrverify --help' for more information.|--line-rate=10")
  for row in "${rows[@]}"; do
    IFS='|' read -r st out err row <<< "$row"
    out=${out//;/$nl} err=${err//;/$nl}
    [ "$out" = - ] && out="" || out+=$nl
    [ "$err" = - ] && err="" || err="ctrverify: ${err//$nl/${nl}ctrverify: }"
    err=${err//ctrverify: Try/Try} err=${err//ctrverify: Valid/Valid} err=${err//ctrverify:   - /  - }
    expect "$st" "$out" "$err" -- $row
  done
  expect 2 "" "ctrverify: option '--w=16' is ambiguous; possibilities: '--width' '--wrap'${nl}Try 'ctrverify --help' for more information." -- --w=16 a.dat
  same "report file" "a.dat: 2 4 @ 3${nl}a.dat: 4 bytes, 1 break${nl}m.dat: 3 bytes, 0 breaks$nl" r.txt
  cmp -s a.dat ./-x.dat || { echo "FAIL: an input emptied as the output"; fail=1; }
  # The options of --help are those of the man page.
  diff <(ctr --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u) <(grep -o -E -- '\\-\\-[a-z]([a-z]|\\-)*' "$top/doc/ctrverify.1" | tr -d '\\' | sort -u) ||
    { echo "FAIL: --help and the man page name other options"; fail=1; }
  ctr --help | head -n 1 > out.txt
  same "--help" "Usage: ctrverify [OPTION]... [FILE]...$nl" out.txt
  ctr --help > out.txt
  same "--help, whole" "$(cat "$top/tests/cli/ctrverify-help.txt")$nl" out.txt
  cat a.dat | ctr > out.txt 2>&1
  same "standard input" "2 4 @ 3${nl}-: 4 bytes, 1 break$nl" out.txt
  [ "$target" != windows ] || return 0  # no such names there, nor a /dev/full
  local kinds='"stuck":0,"stuck_words":0,"inserted":0,"inserted_words":0,"late":0,"late_words":0,"restart":0,"slip":0,"stall":0}'
  local events='"events":{"corrupt":0,"corrupt_words":0,"lost":1,"lost_words":1,"repeat":0,"repeated_words":0,'$kinds none='"events":{"corrupt":0,"corrupt_words":0,"lost":0,"lost_words":0,"repeat":0,"repeated_words":0,'$kinds bits='"bit_errors":[0,0,0,0,0,0,0,0],"bits_never_set":[],"bits_never_cleared":[],"hint":null'
  local sr='"seconds":S,"rate":R'
  ctr --json a.dat $'x"\\\xff' 2>&1 | sed -E 's/"seconds":[0-9.]+,"rate":[0-9]+/"seconds":S,"rate":R/' > out.txt  # one stream: whole objects, the message between them
  [ "${PIPESTATUS[0]}" = 2 ] || { echo "FAIL: --json status"; fail=1; }
  head -c 12 /dev/zero > z.dat; bytes 100 200 > h.dat  # 10 of 12 breaks listed; values past 99
  ctr --json z.dat h.dat | python3 -c 'import json, sys; r = [o for o in map(json.loads, sys.stdin) if o["type"] == "summary"]; sys.exit(not (len(r[0]["first_breaks"]) == 10 and r[0]["breaks"] == 12 and r[1]["first_breaks"][1] == {"pos": 2, "alt": 100, "neu": 200}))' ||
    { echo "FAIL: the breaks a JSON object lists"; fail=1; }
  same "--json" '{"type":"event","file":"a.dat","pos":3,"kind":"lost","words":1}'"$nl"'{"type":"summary","file":"a.dat","width":8,"first_breaks":[{"pos":3,"alt":2,"neu":4}],"bytes":4,"breaks":1,'"$sr"',"trailing_bytes":0,'"$events"',"first_events":[{"pos":3,"kind":"lost","words":1}],'"$bits"',"interrupted":false,"error":null}'"$nl"'ctrverify: x"\\xff: No such file or directory'"$nl"'{"type":"summary","file":"x\"\\\\xff","width":8,"first_breaks":[],"bytes":0,"breaks":0,'"$sr"',"trailing_bytes":0,'"$none"',"first_events":[],'"$bits"',"interrupted":false,"error":"No such file or directory"}'"$nl" out.txt
  fails_to_write 2 "ctrverify: write error: No space left on device" /dev/zero a.dat  # at once, no more FILEs
  (ulimit -n 16; ctr -s $(printf 'm.dat %.0s' $(seq 20))) > out.txt  # each FILE closed after it is read
  same "20 FILEs, 16 descriptors" "$(printf 'm.dat: 3 bytes, 0 breaks\n%.0s' $(seq 20))$nl" out.txt
  expect 2 "/dev/null: 0 bytes, 0 breaks$nl" "ctrverify: /dev/null: empty: nothing was checked" -- /dev/null
}

case_verify_pipes_and_signals() {
  posix_only
  bin=$verify_bin
  local CTR_SECONDS=20 sig s
  mkfifo f
  ( sleep 1; bytes 1 2 3 > f ) &  # the writer comes later: waited for, as cat does
  ctr f > out.txt
  same "FIFO" "f: 3 bytes, 0 breaks$nl" out.txt
  wait
  python3 -c 'import socket; s = socket.socket(socket.AF_UNIX); s.bind("s"); s.listen(); open("ready", "w").close(); c = s.accept()[0]; c.sendall(bytes([1, 2, 4])); c.close()' &
  for _ in $(seq 50); do [ -e ready ] || sleep 0.1; done
  expect 1 "2 4 @ 3${nl}s: 3 bytes, 1 break$nl" "" -- s  # a stream socket is connected to
  wait
  # A slow link: the lines found reach a file while the tool waits, and the
  # progress line comes about once a second when asked for.
  { bytes 1 3; sleep 2.5; bytes 4; } | ctr --progress - > out.txt 2> err.txt &
  sleep 1.5
  same "break line while waiting" "1 3 @ 2$nl" out.txt
  wait
  ctr -m2 --duration=2.5 /dev/zero > out.txt &  # and while data keeps coming
  sleep 1.5
  same "break lines while data flows" "0 0 @ 1${nl}0 0 @ 2$nl" out.txt
  wait
  { for i in 1 2 3 4 5 6; do bytes $i; sleep 0.3; done; } | ctr --idle-timeout=1 - > out.txt  # silence counts from the last byte
  same "bytes now and then" "-: 6 bytes, 0 breaks$nl" out.txt
  [ "$(grep -c -E '^ctrverify: -: [12]\.[0-9] s, 2 bytes, 0\.0 MB/s, 1 break$' err.txt) $(wc -l < err.txt)" = "2 2" ] || { echo "FAIL: not a progress line a second: $(cat err.txt)"; fail=1; }
  # Runs that end on their own, on a link that sends two bytes, then stays
  # silent for PAUSE s: STATUS|PAUSE|ARGS|a line of stdout|stderr, as
  # extended regular expressions ("-": empty); each within 2.5 s.
  local row st pause args want_out want_err t0
  for row in "2|4|--idle-timeout=0.5 --interval=0.2|^\[0\.000-0\.2[0-9]{2} s\] 2 bytes, [0-9.]+ MB/s, 1 break$|^ctrverify: -: no data for 0\.5 s$" \
             "1|4|--duration=0.6 --timestamps|^20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]{3}Z 1 3 @ 2$|-" \
             "1|4|--duration=1.1 --stall=0.5 --explain|^stall @ 3: 1\.[01][0-9]{2} s from 20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9:.]{12}Z$|-" \
             "1|4|--duration=0.5 --json --interval=0.2|^\{\"type\":\"interval\",.*\"time\":\"20[0-9-]{8}T[0-9:.]{12}Z\",.*\"events\":\{\"corrupt\":0,\"corrupt_words\":0,\"lost\":1,|-" \
             "1|4|--duration=1.1 --interval=0.2|^\[[01]\.[09][0-9]{2}-1\.1[0-9]{2} s\] 0 bytes, 0\.0 MB/s, 0 breaks$|-" \
             "2|0|--interval=9 /dev/null|^-: \[0\.000-0\.[0-9]{3} s\] 2 bytes, [0-9.]+ MB/s, 1 break$|^ctrverify: /dev/null: empty: nothing was checked$" \
             "2|0|--duration=5.50 --json --interval=9|^\{\"type\":\"summary\",\"file\":\"-\",.*\"bytes\":2,\"breaks\":1,|^ctrverify: -: ended after 0\.[0-9]{3} of 5.50 s$"; do
    IFS='|' read -r st pause args want_out want_err <<< "$row"
    t0=${EPOCHREALTIME/./}
    ctr $args - > out.txt 2> err.txt < <(bytes 1 3; exec sleep "$pause" 2> /dev/null)
    s=$? t0=$(((${EPOCHREALTIME/./} - t0) / 1000))
    { [ "$want_err" = - ] && [ ! -s err.txt ] || grep -q -E "$want_err" err.txt; } && grep -q -E "$want_out" out.txt &&
      [ "$s" = "$st" ] && [ "$t0" -lt 2500 ] && { [ "${args#*--json}" = "$args" ] || python3 -c 'import json, sys; [json.loads(l) for l in open("out.txt")]'; } ||
      { echo "FAIL [$args]: status $s after $t0 ms: $(cat out.txt err.txt)"; fail=1; }
  done
  # A time stamp falls within the run, to the millisecond.
  local t1 t2 stamp
  t1=$(date -u +%s%3N)
  bytes 1 3 | ctr --timestamps - > out.txt
  t2=$(date -u +%s%3N) stamp=$(date -u -d "$(head -n 1 out.txt | cut -d ' ' -f 1)" +%s%3N)
  [ "$t1" -le "$stamp" ] && [ "$stamp" -le "$t2" ] || { echo "FAIL: time stamp $(head -n 1 out.txt) not within $t1-$t2"; fail=1; }
  # A terminal named as FILE (a serial port) is read raw, and set back after.
  python3 -c 'import os, pty, subprocess, sys, termios, time
m, s = pty.openpty(); before = termios.tcgetattr(s)
p = subprocess.Popen(sys.argv[1:] + ["--bytes=512", os.ttyname(s)], stdout=subprocess.PIPE)
time.sleep(0.5); os.write(m, bytes(range(1, 256)) + bytes(range(0, 256)) + b"\x00")
out = p.communicate(timeout=10)[0]
ok = out == os.ttyname(s).encode() + b": 512 bytes, 0 breaks\n" and termios.tcgetattr(s) == before
p = subprocess.Popen(sys.argv[1:] + [os.ttyname(s)]); time.sleep(0.5); p.send_signal(3); p.wait(timeout=10)
sys.exit(not ok or termios.tcgetattr(s) != before)' $runner "$bin" ||
    { echo "FAIL: a terminal not read raw, or not set back"; fail=1; }
  # Standard output and error one terminal: DELAY|SIGNAL|ARGS|what it shows
  # (fixed strings, the last line of each the end of the run): a break line
  # clears the progress line first; a stop while the read of a terminal
  # waits ends the tool by that signal.
  local pty_row delay
  # slow_pty DELAY SIGNAL CMD...: CMD under pty_run.py reading bytes 1 2, then after 2.2 s 4.
  slow_pty() { { bytes 1 2; sleep 2.2; bytes 4; } 2> /dev/null | python3 "$top/tests/cli/pty_run.py" "$@"; }
  for pty_row in $'0|0|--progress -|\r\e[K2 4 @ 3\nexit 1' $'1|1|PTY|: 0 bytes, 0 breaks, interrupted\nsignal 1' $'1|2|PTY|: 0 bytes, 0 breaks, interrupted\nsignal 2'; do
    IFS='|' read -r -d '' delay sig args want <<< "$pty_row"
    slow_pty "$delay" "$sig" $runner "$bin" $args > out.txt
    while IFS= read -r s; do grep -q -F -- "$s" out.txt || { echo "FAIL [pty: $args, signal $sig]: no '$s' in: $(od -c out.txt)"; fail=1; }; done <<< "${want%$nl}"
  done
  # With standard output a file, only the end clears the progress line.
  slow_pty 0 0 sh -c 'exec "$@" > /dev/null' sh $runner "$bin" --progress - > out.txt
  [ "$(grep -o $'\r\e\\[K' out.txt | wc -l)" = 1 ] || { echo "FAIL: the progress line cleared for a line it does not share: $(od -c out.txt)"; fail=1; }
  # A write blocked on a reader that sleeps ends at the time limit.
  { ctr --duration=0.5 /dev/zero 2> err.txt; echo $? > st.txt; } | (exec sleep 3)
  [ "$(cat st.txt) $(cat err.txt)" = "2 ctrverify: write error: blocked past the time limit" ] || { echo "FAIL: a blocked write past --duration: $(cat st.txt err.txt)"; fail=1; }
  # A read that waits on a silent FIFO ends at once on the signal; the
  # summary says so. A signal ignored at the start (nohup) stays ignored.
  mkfifo g
  exec 3<> g
  set -m  # background jobs keep SIGINT
  for sig in INT:130 TERM:143 HUP:129 INT:0; do
    if [ "${sig#*:}" = 0 ]; then (trap '' INT; exec $runner "$bin" g > out.txt 3>&-) & else $runner "$bin" g > out.txt 3>&- & fi
    local pid=$!
    sleep 1
    kill -"${sig%:*}" $pid
    [ "${sig#*:}" != 0 ] || { bytes 1 2 >&3; exec 3>&-; }
    ended $pid; s=$ended
    [ "$s" = "${sig#*:}" ] || { echo "FAIL: SIG${sig%:*}: status $s"; fail=1; }
    [ "$s" = 0 ] && same "SIGINT ignored" "g: 2 bytes, 0 breaks$nl" out.txt || same "SIG${sig%:*}" "g: 0 bytes, 0 breaks, interrupted$nl" out.txt
  done
  set +m
}

# A stop signal ends both tools in every state, and no descriptor of their
# own takes the place of a closed standard stream. TOOL|ARGS|STATE|STATUS|
# the output (stdout and stderr, one regex); STATE is "closed" (stdin and
# stdout closed), "blocked" (a reader that sleeps; SIGTERM after 1 s) or
# "leased" (a lease that is never given up; SIGINT after 1 s), "unlinked"
# (leased l.dat removed after 1 s), "silent" (FIFO p, two bytes and then
# nothing; SIGINT after 1 s) or "full" (FIFO q silent, the output a pipe
# already full; SIGTERM after 1 s).
case_stop_and_descriptors() {
  posix_only
  counter 3 > c.dat
  head -c 10000000 /dev/zero > z.dat
  local row tool args state st want t0 holder="" check_bin=$bin CTR_SECONDS=10
  for row in "ctrcheck|-i c.dat|closed|1|^ctrcheck: write error: Bad file descriptor$" \
             "ctrverify|c.dat|closed|2|^ctrverify: write error: Bad file descriptor$" \
             "ctrverify||closed|2|^ctrverify: -: Bad file descriptor$" \
             "ctrverify|-|closed|2|^ctrverify: -: Bad file descriptor$" \
             "ctrcheck|-i z.dat|blocked|143|" "ctrverify|z.dat|blocked|143|" "ctrverify|q|full|143|" "ctrverify|--duration=3600 q|full|143|" \
             "ctrcheck|-i c.dat|leased|130|^ctrcheck: interrupted at byte 0 of 3$" \
             "ctrverify|--json c.dat z.dat|leased|130|^\{\"type\":\"summary\",\"file\":\"c\.dat\",.*\"interrupted\":true,\"error\":null\}$" \
             "ctrverify|l.dat|unlinked|2|^ctrverify: l\.dat: No such file or directory$" \
             "ctrverify|--json --interval=9 p|silent|130|^\{\"type\":\"summary\".*\"seconds\":(0\.9|1\.)"; do
    IFS='|' read -r tool args state st want <<< "$row"
    bin=$([ "$tool" = ctrverify ] && echo "$verify_bin" || echo "$check_bin")
    rm -f ready p; mkfifo p
    case $state in
      closed) ctr $args <&- >&- 2> out.txt ;;
      blocked) (exec sleep 5 < p) & holder=$! ;;
      full) rm -f q; mkfifo q; exec 4<> q; (exec sleep 5 < p) & holder=$!; head -c 65536 /dev/zero > p ;;
      silent) (bytes 1 2; exec sleep 5) > p & holder=$! ;;
      leased | unlinked)
              cp c.dat l.dat
              python3 -c 'import fcntl, os, signal, sys, time; fd = os.open(sys.argv[1], os.O_RDWR); signal.signal(signal.SIGIO, lambda *_: None); fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_WRLCK); open("ready", "w").close(); time.sleep(9)' "$([ "$state" = leased ] && echo c.dat || echo l.dat)" 2> /dev/null & holder=$!
              for _ in $(seq 50); do [ -e ready ] || sleep 0.1; done ;;
    esac
    s=$?
    if [ "$state" != closed ]; then
      set -m  # background jobs keep SIGINT
      if [ "$state" = blocked ] || [ "$state" = full ]; then $runner "$bin" $args > p 2> out.txt & else $runner "$bin" $args > out.txt 2>&1 & fi
      local pid=$!
      sleep 1; t0=${EPOCHREALTIME/./}
      [ "$state" = unlinked ] && rm l.dat || kill "-$([ "$state" = blocked ] || [ "$state" = full ] && echo TERM || echo INT)" $pid
      ended $pid; s=$ended
      set +m
      [ $(((${EPOCHREALTIME/./} - t0) / 1000)) -lt 2000 ] || { echo "FAIL [$tool $args, $state]: not ended at once"; fail=1; }
      kill $holder 2> /dev/null; wait $holder 2> /dev/null
    fi
    { [ -z "$want" ] || grep -q -E "$want" out.txt; } && [ "$s" = "$st" ] || { echo "FAIL [$tool $args, $state]: status $s: $(cat out.txt)"; fail=1; }
  done
}

# --- large captures (label "large": minutes and several GiB of disk) -----------

case_large_beyond_4gib() {
  local CTR_SECONDS=1800
  [ "$(df -Pk . | awk 'NR == 2 { print $4 }')" -ge $((5 << 20)) ] || { echo "less than 5 GiB free here"; exit 77; }
  # 4.5 GiB of perfect counter with one corrupted byte past 2^32.
  counter $((4 << 20)) > m4.dat
  for _ in $(seq 1 1152); do cat m4.dat; done > big.dat
  rm m4.dat
  setbyte big.dat 4294968296 7
  expect 0 "Laenge = 4831838207 Bytes${nl}231 7 @ 4294968296${nl}7 233 @ 4294968297${nl}4608.000 MBytes gelesen, 2 Fehler${nl}" "" -- -i big.dat
}

case_large_more_breaks_than_31_bits() {
  local CTR_SECONDS=1800
  # Every byte of a sparse file of zeros is a break: 2^31 + 10 of them.
  truncate -s 2147483658 z.dat
  ctr -i z.dat 2> err.txt | tail -n 2 > out.txt
  local status=${PIPESTATUS[0]}
  printf '0 0 @ 2147483658\n2048.000 MBytes gelesen, 2147483658 Fehler\n' > want.txt
  cmp -s want.txt out.txt || { echo "FAIL: end of output:"; cat out.txt; fail=1; }
  [ ! -s err.txt ] || { echo "FAIL: stderr: $(cat err.txt)"; fail=1; }
  [ "$status" -eq 0 ] || { echo "FAIL: status $status"; fail=1; }
}

"case_$name" || fail=1
exit $fail
