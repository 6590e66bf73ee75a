#!/usr/bin/env python3
"""Reads a vCard file with python3-vobject, a reader independent of ours:
exit 0 when every card parses and has a formatted name and a name (and,
with --uid, a UID no other card of the file has)."""
import sys

import vobject

args = sys.argv[1:]
want_uid = args[:1] == ["--uid"]
if want_uid:
    args = args[1:]
count = 0
uids = set()
with open(args[0], encoding="utf-8", newline="") as f:
    for card in vobject.readComponents(f.read(), validate=True):
        count += 1
        if not card.contents.get("fn") or not card.fn.value:
            sys.exit(f"card {count} has no FN")
        if "n" not in card.contents:
            sys.exit(f"card {count} has no N")
        if want_uid:
            if not card.contents.get("uid") or not card.uid.value:
                sys.exit(f"card {count} has no UID")
            if card.uid.value in uids:
                sys.exit(f"card {count}: UID {card.uid.value} twice")
            uids.add(card.uid.value)
        for line in card.lines():
            line.value  # every value decodes
if count == 0:
    sys.exit("no card")
