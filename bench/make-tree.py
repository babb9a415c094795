#!/usr/bin/env python3
"""Writes a deterministic payload tree for the benchmarks.

usage: make-tree.py FOLDER [TOTAL_MB] [FILES] [--seed N] [--lognormal]
FOLDER/Program gets FILES files of TOTAL_MB in all, a third each (by count)
text-like (words), binary-like (records with small variations) and
incompressible (random bytes), spread over nested folders. Sizes are spread
evenly between a quarter and 1.75 times the average, or, with --lognormal,
drawn from a log-normal distribution (sigma 1.2, as real program folders
are: many small files, a few large ones) and scaled to the total. The same
arguments always give the same bytes.
"""
import argparse
import os
import random

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

def sizes(rng, total_bytes, files, lognormal):
    average = total_bytes // files
    if not lognormal:
        return [rng.randint(average // 4, average * 7 // 4) for _ in range(files)]
    draws = [rng.lognormvariate(0.0, 1.2) for _ in range(files)]
    scale = total_bytes / sum(draws)
    return [max(1, int(d * scale)) for d in draws]

def main():
    parser = argparse.ArgumentParser(description="Writes a deterministic payload tree.")
    parser.add_argument("folder")
    parser.add_argument("total_mb", nargs="?", type=int, default=200)
    parser.add_argument("files", nargs="?", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--lognormal", action="store_true")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    kinds = [text_like, binary_like, lambda r, n: r.randbytes(n)]
    os.makedirs(os.path.join(args.folder, "Program"), exist_ok=True)
    if args.files == 0:
        return
    for i, size in enumerate(sizes(rng, args.total_mb * 1024 * 1024, args.files, args.lognormal)):
        sub = os.path.join(args.folder, "Program", "d%02d" % (i % 40), "e%d" % (i % 7))
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "f%04d.bin" % i), "wb") as f:
            f.write(kinds[i % 3](rng, size))

main()
