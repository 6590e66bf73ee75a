#!/usr/bin/env python3
"""Writes a vCard file of about SIZE megabytes (10^6 bytes) for the import
benchmarks: cards of the shapes other phones write (3.0 with TYPE lists,
2.1 with quoted-printable soft breaks, folded long notes, UIDs), written a
card at a time so that the generator's own memory stays small.

    bench/gen_vcards.py OUT.vcf SIZE_MB
"""
import hashlib
import sys

SURNAMES = ["张", "王", "李", "Müller", "Smith", "陈", "García"]
GIVEN = ["伟", "芳", "娜", "Anna", "John", "静", "Luis"]


def card(n):
    last = SURNAMES[n % len(SURNAMES)]
    first = GIVEN[(n // 7) % len(GIVEN)] + " " + str(n)
    lines = ["BEGIN:VCARD"]
    if n % 5 == 4:
        # vCard 2.1 with a quoted-printable note broken by soft line breaks.
        note = "=E4=BC=9A=E8=AE=AE=E5=AE=A4 " + "=0D=0A".join(["room %d" % k for k in range(4)])
        lines += ["VERSION:2.1", "N;CHARSET=UTF-8:%s;%s;;;" % (last, first),
                  "TEL;CELL;PREF:+86 138 %04d %04d" % (n % 10000, (n * 7) % 10000),
                  "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:" + note[:40] + "=",
                  note[40:]]
    else:
        # UIDs as address books make them: random-looking, in no order.
        h = hashlib.md5(str(n).encode()).hexdigest()
        uid = "%s-%s-4%s-8%s-%s" % (h[:8], h[8:12], h[13:16], h[17:20], h[20:32])
        lines += ["VERSION:3.0", "UID:urn:uuid:" + uid,
                  "FN:%s %s" % (first, last), "N:%s;%s;;;" % (last, first),
                  "TEL;TYPE=CELL:+86 138 %04d %04d" % (n % 10000, (n * 7) % 10000),
                  "TEL;TYPE=WORK,VOICE:010-6555%04d" % (n % 10000),
                  "EMAIL;TYPE=INTERNET:user%d@example.com" % n,
                  "ORG:Example 公司;研发部",
                  "ADR;TYPE=HOME:;;长安街 %d 号;北京;;100000;中国" % n]
        note = "met at the fair\\, 2019; " * (1 + n % 6)
        folded = "NOTE:" + note
        # Folded at 75 octets, as writers do (never inside a character here:
        # the note is ASCII).
        lines.append(folded[:75])
        rest = folded[75:]
        while rest:
            lines.append(" " + rest[:74])
            rest = rest[74:]
    lines.append("END:VCARD")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def main():
    out, size = sys.argv[1], float(sys.argv[2])
    limit = int(size * 1e6)
    written = n = 0
    with open(out, "wb") as f:
        while written < limit:
            data = card(n)
            f.write(data)
            written += len(data)
            n += 1
    print(n)


if __name__ == "__main__":
    main()
