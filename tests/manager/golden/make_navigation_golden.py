#!/usr/bin/env python3
# Writes navigation.idb, the expected navigation file for the three-track
# fixture of reaver_navigation_test.cpp, straight from the file's layout:
# head of 41,152 bytes, then per track five u16 lengths (NUL counted) and the
# five NUL-terminated texts in Windows-1252.
import struct
import sys

tracks = [  # path, title, artist, album, genre, in the order given to the writer
    ("E:\\Music\\a.mp3", "Intro", "Smith", "Blue", "Rock"),
    ("E:\\Jazz\\Caf\u00e9\\b.ogg", "Caf\u00e9 \u65e5", "Ann\u00e9e", "", "Jazz"),
    ("E:\\c.flac", "", "", "", ""),
]

records = b""
offsets = []
for path, *texts in tracks:
    fields = [t.encode("cp1252", errors="replace") + b"\0" for t in [path[2:]] + texts]
    offsets.append(len(records))
    records += struct.pack("<5H", *[len(f) for f in fields]) + b"".join(fields)

head = bytearray(41152)
head[0:15] = b"iRivDB Ver 0.12"
head[32:54] = b"iRiver iHP-100 DB File"
struct.pack_into("<H", head, 64, len(tracks))
for i, off in enumerate(offsets):
    struct.pack_into("<I", head, 128 + 4 * i, off)
head[41088:41106] = b"Designed by iRiver"

out = sys.argv[1] if len(sys.argv) > 1 else "navigation.idb"
with open(out, "wb") as f:
    f.write(bytes(head) + records)
