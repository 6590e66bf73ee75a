#!/usr/bin/env bash
# An encrypted archive of a big backup folder: `vardel archive
# --passphrase-file` beside `tar -c | gpg --symmetric` of the same folder
# (what a user would type without vardel). Both stream; vardel also reads
# the archive back and checks it against SHA256SUMS before it keeps it, so
# expect it to take about twice gpg's time; the first run in the fresh
# GnuPG home also starts gpg-agent. Prints wall time, CPU time and peak
# memory of the processes waited for (gpg-agent's work is not counted) and
# the archive sizes.
#
#   bench/archive_bench.sh VARDEL [M=40000 messages]
set -euo pipefail
V=$(readlink -f "$1")
M=${2:-40000}
W=$(mktemp -d /tmp/vardel-archive-bench.XXXXXX)
export GNUPGHOME=$W/gnupg
trap 'gpgconf --kill all 2>/dev/null || true; rm -rf "$W"' EXIT
mkdir -m 700 "$GNUPGHOME" "$W/out"
echo "bench passphrase" > "$W/pass"

# M messages in Android's SMS Backup & Restore layout, for `messages import`.
python3 - "$M" > "$W/sms.xml" <<'PY'
import sys
from xml.sax.saxutils import quoteattr
m = int(sys.argv[1])
print(f'<?xml version="1.0" encoding="UTF-8"?>\n<smses count="{m}">')
for i in range(m):
    body = quoteattr(f"第{i}条短信 message number {i} " + "内容" * (i % 40))
    print(f'<sms address="+86138{i % 100000:08d}" date="{1700000000000 + i * 60000}" '
          f'type="{1 + i % 2}" body={body} read="1" />')
print("</smses>")
PY

D="$W/device"
"$V" --device "$D" device init --demo > /dev/null
"$V" --device "$D" messages import "$W/sms.xml" > /dev/null
"$V" --device "$D" backup --yes > /dev/null
F="$D/Storage Card/vardelbackup"
echo "# folder: $(du -sh "$F" | cut -f1), $M messages imported"

step() { # label command...
  local label=$1
  shift
  if ! /usr/bin/time -f "%e %U %S %M" -o "$W/time" "$@" > "$W/stdout" 2> "$W/err"; then
    echo "$label failed:" >&2
    cat "$W/err" >&2
    exit 1
  fi
  read -r wall user sys kib < "$W/time"
  printf '%-40s %7s s wall %7s s CPU %5s MiB\n' "$label" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" "$((kib / 1024))"
}

step "vardel archive --passphrase-file" \
  "$V" --device "$D" archive --to "$W/out" --passphrase-file "$W/pass"
step "tar -c | gpg --symmetric" sh -c "tar -c -C '$F' . | gpg --batch --pinentry-mode loopback \
  --passphrase-file '$W/pass' --symmetric -o '$W/plain.tar.gpg'"
echo "# sizes: vardel $(stat -c %s "$W"/out/*.tar.gpg) B, tar|gpg $(stat -c %s "$W/plain.tar.gpg") B"
