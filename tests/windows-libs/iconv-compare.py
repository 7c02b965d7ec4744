#!/usr/bin/env python3
"""Compares two outputs of iconv-agree's table or pairs mode, REFERENCE (glibc) and OTHER:
for each encoding, how many sequences decode to other text or warnings, a few of them, and how
many differ only in the bytes held back for the next block (which the end of the input undoes).
  iconv-compare.py REFERENCE OTHER [EXAMPLES]"""
import collections
import re
import sys


def load(path):
    rows, unknown = {}, set()
    for line in open(path, encoding="latin-1"):
        line = line.rstrip("\n")
        if line.endswith(": unknown to iconv_open"):
            unknown.add(line.split(":")[0])
            continue
        encoding, rest = line.split(" ", 1)
        sequence, out = rest.split(":", 1)
        rows[(encoding, sequence)] = out.strip()
    return rows, unknown


def unheld(value):
    return re.sub(r" ?\[held \d+\]", "", value or "")


ref, ref_unknown = load(sys.argv[1])
other, other_unknown = load(sys.argv[2])
examples = int(sys.argv[3]) if len(sys.argv) > 3 else 4
covered = {key[0] for key in other} | other_unknown
print("unknown to the reference:", " ".join(sorted(ref_unknown)) or "none")
print("unknown to the other only:", " ".join(sorted(other_unknown - ref_unknown)) or "none")
differ, held, total = collections.defaultdict(list), collections.Counter(), collections.Counter()
for key, value in ref.items():
    if key[0] in other_unknown or key[0] not in covered:
        continue
    total[key[0]] += 1
    if unheld(other.get(key)) != unheld(value):
        differ[key[0]].append((key[1], value, other.get(key)))
    elif other.get(key) != value:
        held[key[0]] += 1
for encoding in sorted(total, key=lambda e: (-len(differ[e]), e)):
    kinds = collections.Counter(
        ("U+FFFD" if "warn" in r else "text") + " -> " + ("U+FFFD" if "warn" in (o or "") else "text")
        for _, r, o in differ[encoding])
    line = f"{encoding}: {len(differ[encoding])} of {total[encoding]} differ"
    if kinds:
        line += " (" + ", ".join(f"{n} {k}" for k, n in sorted(kinds.items())) + ")"
    if held[encoding]:
        line += f"; {held[encoding]} only in the bytes held for the next block"
    print(line)
    for sequence, r, o in differ[encoding][:examples]:
        print(f"    {sequence}: [{r}] vs [{o}]")
