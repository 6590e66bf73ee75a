#!/usr/bin/env bash
# A real phone's one-step backup at scale: gammu's dummy phone filled with
# N contacts and M SMS (by gen_dummy_phone.py), pulled and backed up with
# `vardel phone backup`, twice (the second pull finds everything in place),
# beside gammu's own `backup` + `backupsms` of the same phone. Prints the
# wall time, the CPU time (user + system, which other load on the machine
# does not inflate) and peak memory of each step, and what each one saved.
#
#   bench/phone_backup.sh VARDEL [N=10000] [M=39996] [GEN=../shared/bench/peers/gen_dummy_phone.py]
set -euo pipefail
V=$(readlink -f "$1")
N=${2:-10000}
M=${3:-39996}
root=$(cd "$(dirname "$0")/.." && pwd)
GEN=${4:-$root/../shared/bench/peers/gen_dummy_phone.py}
[ -f "$GEN" ] || GEN=/work/shared/bench/peers/gen_dummy_phone.py
W=$(mktemp -d /tmp/vardel-phone-bench.XXXXXX)
trap 'rm -rf "$W"' EXIT
export TZ=Asia/Shanghai

python3 "$GEN" "$W/phone" "$N" "$M" | sed 's/^/# /'
printf '[gammu]\nmodel = dummy\nconnection = none\ndevice = %s\n' "$W/phone" > "$W/gammurc"

step() { # label command...
  local label=$1
  shift
  if ! /usr/bin/time -f "%e %U %S %M" -o "$W/time" "$@" > "$W/out" 2> "$W/err"; then
    echo "$label failed:" >&2
    cat "$W/err" >&2
    exit 1
  fi
  read -r wall user sys kib < "$W/time"
  printf '%-36s %7s s wall %7s s CPU %5s MiB\n' "$label" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" "$((kib / 1024))"
}
records() { grep -o '<VCARD' "$1" | wc -l; }

D="$W/device"
"$V" --device "$D" device init > /dev/null
step "vardel phone backup (first pull)" "$V" --device "$D" phone backup --config "$W/gammurc" --yes
sed 's/^/#   /' "$W/out" | grep -v '^#   \[' || true
C="$D/Storage Card/vardelbackup"
echo "#   saved $(records "$C/通讯录.xml") contacts and $(records "$C/短信.xml") messages"
step "vardel phone backup (again)" "$V" --device "$D" phone backup --config "$W/gammurc" --yes
step "vardel phone pull (again, alone)" "$V" --device "$D" phone pull --config "$W/gammurc" --yes

if command -v gammu > /dev/null; then
  step "gammu backup (phonebook)" gammu -c "$W/gammurc" backup "$W/phone.backup" -yes
  step "gammu backupsms (all folders)" gammu -c "$W/gammurc" backupsms "$W/phone.smsbackup" -all
  echo "#   saved $(iconv -f UTF-16 -t UTF-8 "$W/phone.backup" | grep -c '^\[PhonePBK') contacts" \
    "and $(grep -c '^\[SMSBackup' "$W/phone.smsbackup") messages"
fi
