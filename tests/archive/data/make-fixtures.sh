#!/usr/bin/env bash
# Regenerates the zip fixtures of the archive tests with the common zip
# tools (Info-ZIP zip, Python's zipfile, 7-Zip). Run from anywhere:
#   tests/archive/data/make-fixtures.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export TZ=UTC

# The library content: a manifest naming one image, the image, a text file
# that compresses well and an empty folder.
mkdir -p "$work/lib/images" "$work/lib/empty"
python3 - "$work/lib" <<'PY'
import struct, sys, zlib
root = sys.argv[1]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 0, 0, 0, 0)) \
    + chunk(b"IDAT", zlib.compress(b"\x00\x10\x20\x00\x30\x40")) + chunk(b"IEND", b"")
open(f"{root}/images/6F9619FF-8B86-D011-B42D-00C04FC964FF.png", "wb").write(png)
open(f"{root}/notes.txt", "w").write("Anatomy atlas notes. " * 400)
open(f"{root}/library.json", "w").write("""{
    "application": {"build": "7", "name": "Veloran", "version": "1.0"},
    "exportedAt": "2025-03-14T09:26:53Z",
    "formatVersion": 1,
    "images": [
        {
            "createdAt": "2025-03-14T09:20:00Z",
            "id": "6F9619FF-8B86-D011-B42D-00C04FC964FF",
            "imagePath": "images/6F9619FF-8B86-D011-B42D-00C04FC964FF.png",
            "metadata": {"age": {"kind": 5, "value": 40}, "modality": 2, "plane": 2, "region": 4, "sex": 3},
            "points": [{"group": "bones", "id": "A1B2C3D4-0000-4000-8000-000000000001", "label": "Rib",
                        "links": [], "x": 0.25, "y": 0.75}],
            "regions": [],
            "seriesID": "0E984725-C51C-4BF4-9960-E1C80E27ABA0",
            "sortIndex": 0,
            "title": "Chest"
        }
    ],
    "series": [{"createdAt": "2025-03-14T09:00:00Z", "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "title": "CT"}]
}
""")
PY
touch -d "2025-03-14 09:00:00" "$work/lib" "$work/lib/"* "$work/lib/images/"*
cd "$work/lib"
rm -f "$here"/*.zip

# Info-ZIP: deflated, with extra fields that differ between the local and
# the central headers (the extended timestamp), and folder entries.
zip -q -r "$here/infozip.zip" library.json images notes.txt empty
# Info-ZIP writing to a pipe: sizes and CRCs follow the data in descriptors.
zip -q - library.json images/*.png notes.txt | cat > "$here/infozip-pipe.zip"
# Encrypted (traditional PKWARE encryption), deflated and stored.
zip -q -P secret "$here/infozip-encrypted.zip" notes.txt
zip -q -0 -P secret "$here/infozip-encrypted-stored.zip" notes.txt

# Python: a 65,535-byte archive comment, and an entry written with a Zip64
# extra field in its local header while the central sizes stay plain.
python3 - "$here" <<'PY'
import sys, zipfile
here = sys.argv[1]
with zipfile.ZipFile(f"{here}/python-comment.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.write("library.json")
    z.write("images/6F9619FF-8B86-D011-B42D-00C04FC964FF.png")
    z.comment = b"c" * 65535
with zipfile.ZipFile(f"{here}/python-zip64-extra.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("notes.txt", "w", force_zip64=True) as f:
        f.write(open("notes.txt", "rb").read())
PY

# 7-Zip: folder entries first, and the methods the reader refuses.
7z a -bd -bso0 -tzip "$here/7z.zip" empty images library.json notes.txt
7z a -bd -bso0 -tzip -mm=BZip2 "$here/7z-bzip2.zip" notes.txt
7z a -bd -bso0 -tzip -mm=LZMA "$here/7z-lzma.zip" notes.txt
7z a -bd -bso0 -tzip -mm=Deflate64 "$here/7z-deflate64.zip" notes.txt
7z a -bd -bso0 -tzip -psecret -mem=AES256 "$here/7z-aes.zip" notes.txt
# Fuzzing seeds: a stored library archive without extra fields, like the
# ones Veloran writes, and a manifest on its own.
mkdir -p "$here/seeds"
rm -f "$here/seeds/"*
zip -q -0 -X "$here/seeds/stored.veloran" library.json images/*.png
cp library.json "$here/seeds/library.json"
ls -l "$here"/*.zip "$here/seeds"
