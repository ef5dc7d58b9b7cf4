#!/usr/bin/env python3
"""Writes the full-card all-to-all exchange description in phase form.

Every ordered pair of distinct tiles moves WORDS words (default 16): tile i
sends its j-th block (source + 4*WORDS*j) to tile j, which stores it at
destination + 4*WORDS*i. The pairs are laid out as shift rounds (i -> i + s
for s = 1 .. n-1). One round is a union of cycles of length n / gcd(n, s);
alternate edges of a cycle share no tile, so two phases carry a round, and a
cycle of odd length needs a third phase for its closing edge (on 1472 tiles:
shifts that are multiples of 64). 1472 tiles give 2,165,312 transfers in
2,964 phases.

Usage: all_to_all.py [--tiles N] [--words W] [--source A] [--destination A] > out.json
"""
import argparse
import math
import sys


def phases(tiles, words, source, destination):
    for shift in range(1, tiles):
        length = tiles // math.gcd(tiles, shift)
        rounds = ([], [], [])
        for start in range(math.gcd(tiles, shift)):
            for k in range(length):
                sender = (start + k * shift) % tiles
                receiver = (sender + shift) % tiles
                closing = length % 2 == 1 and k == length - 1
                rounds[2 if closing else k % 2].append((sender, receiver))
        for pairs in rounds:
            if pairs:
                yield [(s, r, source + 4 * words * r, destination + 4 * words * s)
                       for s, r in pairs]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tiles", type=int, default=1472)
    parser.add_argument("--words", type=int, default=16)
    parser.add_argument("--source", type=lambda t: int(t, 0), default=0)
    parser.add_argument("--destination", type=lambda t: int(t, 0), default=0x20000)
    args = parser.parse_args()
    out = sys.stdout
    out.write('{"topology": "m1472", "phases": [\n')
    first_phase = True
    for pairs in phases(args.tiles, args.words, args.source, args.destination):
        out.write("" if first_phase else ",\n")
        first_phase = False
        out.write('{"transfers": [')
        out.write(",".join(
            '{"from":%d,"to":%d,"words":%d,"source":%d,"destination":%d}'
            % (s, r, args.words, src, dst) for s, r, src, dst in pairs))
        out.write("]}")
    out.write("\n]}\n")


if __name__ == "__main__":
    main()
