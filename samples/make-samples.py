#!/usr/bin/env python3
"""Writes the sample decks. Tollamy reads UTF-16LE with a byte-order mark; lines end in CR LF,
and a TAB separates a card's question from its answer.

    samples/make-samples.py      # rewrites capitals.txt, japanese.txt and not-utf16.txt
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

CAPITALS = [
    ("France", "Paris"), ("Japan", "Tokyo"), ("Canada", "Ottawa"), ("Australia", "Canberra"),
    ("Brazil", "Brasilia"), ("Egypt", "Cairo"), ("Kenya", "Nairobi"), ("Norway", "Oslo"),
    ("Peru", "Lima"), ("Turkey", "Ankara"), ("Vietnam", "Hanoi"), ("Morocco", "Rabat"),
    ("New Zealand", "Wellington"), ("Switzerland", "Bern"), ("South Korea", "Seoul"),
    ("Argentina", "Buenos Aires"), ("Finland", "Helsinki"), ("Portugal", "Lisbon"),
    ("Thailand", "Bangkok"), ("Mongolia", "Ulaanbaatar"),
]

JAPANESE = [
    ("\u72ac", "dog (inu)"), ("\u732b", "cat (neko)"), ("\u6c34", "water (mizu)"),
    ("\u5c71", "mountain (yama)"), ("\u5ddd", "river (kawa)"), ("\u96e8", "rain (ame)"),
    ("\u82b1", "flower (hana)"), ("\u672c", "book (hon)"), ("\u96fb\u8eca", "train (densha)"),
    ("\u53cb\u9054", "friend (tomodachi)"), ("\u3042\u308a\u304c\u3068\u3046", "thank you (arigatou)"),
    ("\u304a\u306f\u3088\u3046", "good morning (ohayou)"), ("\u5b66\u6821", "school (gakkou)"),
    ("\u65b0\u805e", "newspaper (shinbun)"), ("\u6771\u4eac", "Tokyo (toukyou)"),
]


def deck(cards, question_format):
    return "".join(question_format.format(q) + "\t" + a + "\r\n" for q, a in cards)


def write_utf16(name, text):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))


def main():
    write_utf16("capitals.txt", deck(CAPITALS, "Capital of {}?"))
    write_utf16("japanese.txt", deck(JAPANESE, "{}"))
    # The same cards without the byte-order mark, in UTF-8: the item shows its error card.
    with open(os.path.join(HERE, "not-utf16.txt"), "wb") as f:
        f.write(deck(CAPITALS[:3], "Capital of {}?").encode("utf-8"))


if __name__ == "__main__":
    main()
