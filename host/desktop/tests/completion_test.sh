#!/usr/bin/env bash
# Runs the generated bash completion under bash-completion as Tab would, and
# checks what it offers: commands at each level, options of the command typed
# so far, the values an option takes, files and folders where they belong.
# usage: completion_test.sh BASH_COMPLETION_FILE
set -uo pipefail
source /usr/share/bash-completion/bash_completion || { echo "bash-completion is not installed"; exit 1; }
source "$1"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/phone-dir"
touch "$scratch/contacts.vcf"
cd "$scratch"

failures=0
passes=0
# offers WORDS... -- EXPECTED...: Tab after WORDS (the last one is being typed)
# offers exactly EXPECTED, in any order.
offers() {
  local words=() expected=()
  while [ "$1" != -- ]; do words+=("$1"); shift; done
  shift
  expected=("$@")
  COMP_WORDS=(vardel "${words[@]}")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  # Bash splits "--format=v" into three words, with no blanks between them.
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_LINE=${COMP_LINE// = /=}
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _vardel
  local got want
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed 's:/$::' | sort -u | tr '\n' ' ')
  want=$(printf '%s\n' "${expected[@]}" | sort -u | tr '\n' ' ')
  if [ "$got" = "$want" ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: vardel ${words[*]}<Tab>: got [$got], want [$want]"
    failures=$((failures + 1))
  fi
}

offers '' -- gui backup restore view about render device contacts messages convert phone verify prune archive history carddav version
offers --trace '' -- gui backup restore view about render device contacts messages convert phone verify prune archive history carddav version
offers co -- contacts convert
offers - -- -h --help --device --screen --zoom --trace --version
offers --device '' -- phone-dir
offers --device phone-dir c -- carddav contacts convert
offers --device = '' -- phone-dir
offers --screen '' -- 240x320 320x240 240x240 480x640 640x480 480x800
offers --screen 4 -- 480x640 480x800
offers --zoom '' -- 1 2 3 4 5 6 7 8
offers --zoom = 1 -- 1
offers contacts '' -- import export list
offers contacts export --format '' -- json vcard vcard3 csv google-csv outlook-csv
offers contacts export --format = v -- vcard vcard3
offers contacts export --tags '' -- contacts.vcf phone-dir
offers contacts import c -- contacts.vcf
offers contacts export - -- -h --help --format --to --vcard-version --tags
offers messages export --format '' -- android sms-ie csv json
offers convert --to '' -- vcard vcard3 csv google-csv outlook-csv json android sms-ie
offers convert -o '' -- contacts.vcf phone-dir
offers phone pull - -- -h --help --config --section -y --yes
offers phone info --section '' --
# A file named in the backup folder: its backup files (not the stylesheets,
# sums or history), then paths from here.
backups="$scratch/phone-dir/Storage Card/vardelbackup"
mkdir -p "$backups"
touch "$backups/通讯录.xml" "$backups/短信.xml" "$backups/短信091231_235959.xml" \
    "$backups/MessageLogMsg.xsl" "$backups/SHA256SUMS" "$backups/history.db"
export VARDEL_DEVICE="$scratch/phone-dir"
for command in view render convert "messages restore"; do
    # shellcheck disable=SC2086
    offers $command '' -- 通讯录.xml 短信.xml 短信091231_235959.xml contacts.vcf phone-dir
done
offers view 短 -- 短信.xml 短信091231_235959.xml
offers messages restore --yes 短信0 -- 短信091231_235959.xml
offers render phone-dir/ -- "phone-dir/Storage Card"
unset VARDEL_DEVICE
offers --device phone-dir convert 通 -- 通讯录.xml
offers --device=phone-dir view 通 -- 通讯录.xml
offers --device elsewhere view 通 --
offers device init - -- -h --help --demo
offers backup - -- -h --help -y --yes --log

echo "completion: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
