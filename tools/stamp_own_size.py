#!/usr/bin/env python3
"""Writes a finished executable's length into its own-size field and checks
the placeholders a compiled player is patched at.

The program finds its records at the offset the field names, so the digits
must equal the shipped file's length; the builder patches the first run of
each placeholder, so each must occur exactly once. Run after linking and
stripping: anything that changes the length afterwards breaks the program."""
import sys

TAG = b"QvOwnSize:"
LIMIT = 1_000_000


def fail(path, why):
    sys.stderr.write(f"{path}: {why}\n")
    sys.exit(1)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: stamp_own_size.py EXECUTABLE\n")
        sys.exit(2)
    path = sys.argv[1]
    data = bytearray(open(path, "rb").read())
    size = len(data)
    if size >= LIMIT:
        fail(path, f"{size} bytes; the own-size field holds six digits, so it must stay under {LIMIT}")
    # Repeat count, speed, rate and pause limit.
    for marker in (b"@@@@@", b"$$$$$", b"#####", b"~~~~~~~~"):
        n = data.count(marker)
        if n != 1:
            fail(path, f"placeholder {marker.decode()} occurs {n} times, not once")
    at = data.find(TAG)
    if at < 0 or data.find(TAG, at + 1) >= 0:
        fail(path, "own-size field not found exactly once")
    digits = at + len(TAG)
    data[digits:digits + 6] = b"%06d" % size
    with open(path, "r+b") as f:
        f.seek(digits)
        f.write(data[digits:digits + 6])
    print(f"{path}: own size {size:06d}")


if __name__ == "__main__":
    main()
