#!/usr/bin/env bash
# Writes capture.dat: 40 KiB of a free-running 8-bit counter (1, 2, ..., 255,
# 0, 1, ...) with three typical link faults in it:
#   a corrupted byte at position 10000, a byte dropped after position 20000,
#   a byte repeated at position 30000.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

cycle=""
for i in $(seq 1 255) 0; do cycle+=$(printf '\\%03o' "$i"); done
for _ in $(seq 1 160); do printf "$cycle"; done > "$tmp"

# corrupted: position 10000 holds 48 where the counter has 16
printf '\060' | dd of="$tmp" bs=1 seek=9999 conv=notrunc status=none
# dropped: the byte at position 20001 never arrived
# repeated: the byte at position 30000 (of the original stream) arrived twice
{
  head -c 20000 "$tmp"
  tail -c +20002 "$tmp" | head -c $((30000 - 20001))
  tail -c +30000 "$tmp" | head -c 1
  tail -c +30001 "$tmp"
} > capture.dat
