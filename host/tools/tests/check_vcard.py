#!/usr/bin/env python3
"""Reads a vCard file with python3-vobject, a reader independent of ours:
exit 0 when every card parses and has a formatted name and a name."""
import sys

import vobject

count = 0
with open(sys.argv[1], encoding="utf-8", newline="") as f:
    for card in vobject.readComponents(f.read(), validate=True):
        count += 1
        if not card.contents.get("fn") or not card.fn.value:
            sys.exit(f"card {count} has no FN")
        if "n" not in card.contents:
            sys.exit(f"card {count} has no N")
        for line in card.lines():
            line.value  # every value decodes
if count == 0:
    sys.exit("no card")
