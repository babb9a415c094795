#!/usr/bin/env python3
"""Writes a deterministic payload tree for the extraction benchmark.

usage: make-tree.py FOLDER [TOTAL_MB] [FILES]
FOLDER/Program gets FILES files of TOTAL_MB in all, a third each (by bytes)
text-like (words), binary-like (records with small variations) and
incompressible (random bytes), spread over nested folders.
"""
import os
import random
import sys

def text_like(rng, size):
    words = ["the", "notes", "install", "folder", "window", "value", "archive", "stream",
             "program", "document", "version", "registry", "shortcut", "language", "setup"]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + ".\r\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]

def binary_like(rng, size):
    record = bytearray(rng.randbytes(64))
    out = bytearray()
    while len(out) < size:
        record[rng.randrange(64)] = rng.randrange(256)
        out += record
        out += len(out).to_bytes(4, "little")
    return bytes(out[:size])

def main():
    folder = sys.argv[1]
    total = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    files = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    rng = random.Random(20261208)
    average = total * 1024 * 1024 // files
    kinds = [text_like, binary_like, lambda r, n: r.randbytes(n)]
    for i in range(files):
        sub = os.path.join(folder, "Program", "d%02d" % (i % 40), "e%d" % (i % 7))
        os.makedirs(sub, exist_ok=True)
        size = rng.randint(average // 4, average * 7 // 4)
        with open(os.path.join(sub, "f%04d.bin" % i), "wb") as f:
            f.write(kinds[i % 3](rng, size))

main()
