#!/usr/bin/env python3
"""make_text.py CHARACTERS CASE: the text the speed benchmarks send, on standard output.

Bulletin-like words drawn with a fixed seed, so that every run (and every build compared) sends the
same text, cut to CHARACTERS characters and ended by a line feed. CASE is "upper" for the
teleprinter alphabets, which have no small letters, or "mixed" for PSK31, whose alphabet has both.
"""
import random
import sys

WORDS = {
    "upper": ["THE", "QUICK", "BROWN", "FOX", "JUMPS", "OVER", "LAZY", "DOG", "RYRY", "0123456789", "QST", "DE",
              "BULLETIN", "WX", "73", "QRZ?", "NR", "1/2", "(CQ)", "-"],
    "mixed": ["the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "CQ", "0123456789", "QST", "de",
              "bulletin", "WX", "73", "QRZ?", "nr", "1/2", "(cq)", "-"],
}


def main():
    if len(sys.argv) != 3 or not sys.argv[1].isdigit() or sys.argv[2] not in WORDS:
        sys.exit("usage: make_text.py CHARACTERS upper|mixed")
    characters, words = int(sys.argv[1]), WORDS[sys.argv[2]]
    random.seed(1)
    text, length = [], 0
    while length < characters:
        word = random.choice(words)
        text.append(word)
        length += len(word) + 1
    print(" ".join(text)[:characters])


if __name__ == "__main__":
    main()
