#!/usr/bin/env bash
# The peak memory of `vardel contacts import` of a vCard file, as the user
# runs it: a file of each size (in MB, written by gen_vcards.py) imported
# into a new device by its own process under /usr/bin/time -v. Prints the
# file's size, the cards it holds, the contacts the device then has, the
# peak resident memory and the wall time; the memory should stay flat as the
# file grows.
#
#   bench/vcard_import_memory.sh VARDEL [SIZES="20 200"]
set -euo pipefail
V=$(readlink -f "$1")
SIZES=${2:-20 200}
here=$(cd "$(dirname "$0")" && pwd)
W=$(mktemp -d /tmp/vardel-vcard-bench.XXXXXX)
trap 'rm -rf "$W"' EXIT

printf '%-8s %10s %9s %9s %12s %9s\n' file MB cards contacts "peak MiB" "wall s"
for mb in $SIZES; do
  f="$W/cards-$mb.vcf"
  cards=$(python3 "$here/gen_vcards.py" "$f" "$mb")
  D="$W/device-$mb"
  "$V" --device "$D" device init > /dev/null
  if ! /usr/bin/time -v -o "$W/time" "$V" --device "$D" contacts import "$f" \
    > "$W/out" 2> "$W/err"; then
    echo "import of $mb MB failed:" >&2
    tail -5 "$W/err" >&2
    exit 1
  fi
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$W/time")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$W/time")
  held=$("$V" --device "$D" contacts list | python3 -c 'import json, sys; print(len(json.load(sys.stdin)))')
  printf '%-8s %10.1f %9s %9s %12.1f %9s\n' "$mb" "$(stat -c %s "$f" | awk '{ print $1 / 1e6 }')" \
    "$cards" "$held" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$wall"
  [ "$held" = "$cards" ] || { echo "the device holds $held contacts, not $cards" >&2; exit 1; }
  rm -rf "$D" "$f"
done
