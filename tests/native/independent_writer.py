#!/usr/bin/env python3
"""A second, separate writer of payload archives: its own checksum and layout
code, written from the format's description, with Python's zlib. setup-pack
list and verify must read what it writes exactly.

usage: independent_writer.py PATH/TO/setup-pack
"""
import datetime
import os
import struct
import subprocess
import sys
import tempfile
import zlib


def checksum(data):
    """CRC-32, polynomial 0x04C11DB7, initial 0, most significant bit first,
    no final XOR; bit by bit, no table."""
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


assert checksum(b"") == 0
assert checksum(b"abc") == 0x2C17398C
assert checksum(b"123456789") == 0x89A1897F

EPOCH = datetime.datetime(1601, 1, 1)


def filetime(year, month, day, hour=0, minute=0, second=0, ticks=0):
    """FILETIME of a UTC date; `ticks` are extra 100-nanosecond units."""
    delta = datetime.datetime(year, month, day, hour, minute, second) - EPOCH
    return (delta.days * 86400 + delta.seconds) * 10_000_000 + ticks


def filetime_text(value):
    moment = EPOCH + datetime.timedelta(seconds=value // 10_000_000)
    return moment.strftime("%Y-%m-%dT%H:%M:%S") + ".%07dZ" % (value % 10_000_000)


class Entry:
    def __init__(self, name, attributes, times, contents=None):
        self.name = name
        self.attributes = attributes
        self.times = times  # creation, last access, last write
        self.contents = contents  # None for a folder

    def encoded(self, wide):
        if wide:
            return self.name.encode("utf-16-le") + b"\0\0"
        return self.name.encode("ascii") + b"\0"

    def packed(self):
        return b"" if self.contents is None else zlib.compress(self.contents, 9)

    def record(self, wide):
        name = self.encoded(wide)
        packed = self.packed()
        size = 0 if self.contents is None else len(self.contents)
        header = b"ZFAD" + struct.pack("<IQQQIIIIH", self.attributes, *self.times, 0, size, 0, len(packed), len(name))
        assert len(header) == 50
        return header + name + packed

    def listed(self):
        size = 0 if self.contents is None else len(self.contents)
        fields = [self.name, "0x%08X" % self.attributes, str(size), str(len(self.packed()))]
        return "\t".join(fields + [filetime_text(t) for t in self.times])


def archive(entries, wide, body_suffix=b"", checksum_delta=0):
    body = b"".join(e.record(wide) for e in entries) + body_suffix
    flags = 1 if wide else 0
    return b"ZOT" + bytes([1, 0, flags]) + struct.pack("<I", (checksum(body) + checksum_delta) & 0xFFFFFFFF) + body


def run(tool, command, path):
    return subprocess.run([tool, command, path], capture_output=True)


failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


def check_reads_exactly(tool, folder, label, entries, wide):
    path = os.path.join(folder, label + ".zot")
    with open(path, "wb") as f:
        f.write(archive(entries, wide))
    listed = run(tool, "list", path)
    expected = "".join(e.listed() + "\n" for e in entries)
    expected += "%d entries, %s names\n" % (len(entries), "UTF-16LE" if wide else "8-bit")
    expect(listed.returncode == 0, "%s: list exit %d: %s" % (label, listed.returncode, listed.stderr))
    actual = listed.stdout.decode("utf-8", "replace")
    expect(actual == expected, "%s: list printed\n%s\nexpected\n%s" % (label, actual, expected))
    verified = run(tool, "verify", path)
    expect(verified.returncode == 0, "%s: verify exit %d: %s" % (label, verified.returncode, verified.stderr))


def check_refused(tool, folder, label, data, list_exit, verify_exit, reason):
    path = os.path.join(folder, label + ".zot")
    with open(path, "wb") as f:
        f.write(data)
    for command, wanted in (("list", list_exit), ("verify", verify_exit)):
        result = run(tool, command, path)
        expect(result.returncode == wanted, "%s: %s exit %d, expected %d" % (label, command, result.returncode, wanted))
        if wanted:
            expect(reason in result.stderr.decode(), "%s: %s said %r" % (label, command, result.stderr))


def main():
    tool = sys.argv[1]
    created = filetime(2020, 2, 29, 23, 59, 58, 1234567)
    accessed = filetime(2021, 1, 1)
    written = filetime(1999, 12, 31, 12, 0, 0, 1)
    eight_bit = [
        Entry("Program", 0x10, (created, accessed, written)),
        Entry("Program\\hello.txt", 0x21, (created, accessed, written), b"hello, world\n" * 100),
        Entry("Program\\bin\\data.bin", 0x20, (0, 1, filetime(9999, 12, 31, 23, 59, 59, 9_999_999)), bytes(range(256)) * 300),
        Entry("Documents\\empty.txt", 0x22, (written, written, written), b""),
    ]
    wide = [
        Entry("Program", 0x10, (created, accessed, written)),
        Entry("Program\\\u00dcn\u00efcode\\\U0001F600.txt", 0x20, (created, accessed, written), b"smile"),
        Entry("Documents\\\u65e5\u672c\u8a9e.snote", 0x01, (accessed, accessed, accessed), b"\0" * 70000),
    ]
    with tempfile.TemporaryDirectory() as folder:
        check_reads_exactly(tool, folder, "eight-bit", eight_bit, False)
        check_reads_exactly(tool, folder, "wide", wide, True)
        check_reads_exactly(tool, folder, "empty", [], False)
        check_refused(tool, folder, "bad-checksum", archive(eight_bit, False, checksum_delta=1), 1, 1, "checksum")
        # Bytes after the last entry: the installer ignores them, so list
        # reads the archive; a sound writer does not leave them, so verify fails.
        check_refused(tool, folder, "trailing", archive(eight_bit, False, body_suffix=b"tail"), 0, 1,
                      "4 bytes after the last entry")
    for failure in failures:
        print("FAIL:", failure)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
