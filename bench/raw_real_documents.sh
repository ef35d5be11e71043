#!/usr/bin/env bash
# Raw carving against real documents: Office 97-2003 workbooks and ZIP
# archives (xlsx, docx, pptx) that Debian packages carry as examples and test
# data are laid at sector starts of a disk image, with gaps of zeros and of
# random bytes between them (four rounds over the documents, then 64 MiB of
# random bytes). tarvine-cli raw and PhotoRec (package testdisk)
# carve the same image in the same run; for each the script reports the
# documents found (a written file that begins like the original, each file
# counted for one document at most), the ones written byte-identical, and
# the time taken.
#
#   bench/raw_real_documents.sh BUILD_DIR [SCRATCH_DIR]
#
# Everything is downloaded into the scratch folder (default
# /tmp/tarvine-real-docs) and nothing of it belongs in the repository.
set -euo pipefail

BUILD=${1:?usage: raw_real_documents.sh BUILD_DIR [SCRATCH_DIR]}
SCRATCH=${2:-/tmp/tarvine-real-docs}
CLI="$BUILD/cli/tarvine-cli"
[ -x "$CLI" ] || { echo "no $CLI: build the project first" >&2; exit 2; }

PACKAGES="r-cran-readxl r-cran-gdata r-cran-officer python3-docx python3-openpyxl
          libspreadsheet-parseexcel-perl libole-storage-lite-perl"

mkdir -p "$SCRATCH/debs" "$SCRATCH/tree"
(
    cd "$SCRATCH/debs"
    for p in $PACKAGES; do
        ls "${p}"_*.deb >/dev/null 2>&1 || apt-get download "$p" >/dev/null 2>&1 || echo "could not download $p" >&2
    done
    for d in *.deb; do dpkg-deb -x "$d" "$SCRATCH/tree"; done
)
if ! command -v photorec >/dev/null 2>&1; then
    apt-get install -y testdisk >/dev/null 2>&1 || { echo "photorec (package testdisk) is not available" >&2; exit 2; }
fi

python3 - "$SCRATCH" <<'PY'
import hashlib, json, os, random, sys
scratch = sys.argv[1]
docs = []
for root, _, files in os.walk(os.path.join(scratch, "tree")):
    for f in sorted(files):
        p = os.path.join(root, f)
        with open(p, "rb") as fh:
            data = fh.read()
        ole = data[:8] == bytes.fromhex("D0CF11E0A1B11AE1")
        zip_ = data[:4] == b"PK\x03\x04"
        if (ole or zip_) and len(data) > 0:
            docs.append((p, data))
docs.sort(key=lambda d: d[0])
rng = random.Random(20240607)
img = bytearray(b"\0" * 512 * 64)   # sector 0 stays empty
manifest = []
# Four rounds over the documents, each in its own order. Gaps are mostly a
# few sectors (several documents share a scan window), some span a window
# or more; half hold zeros, half random bytes.
for round_ in range(4):
    order = list(range(len(docs)))
    if round_:
        rng.shuffle(order)
    for i in order:
        p, data = docs[i]
        pick = rng.random()
        sectors = rng.randint(1, 64) if pick < 0.5 else rng.randint(64, 800) if pick < 0.9 else rng.randint(800, 4000)
        gap = sectors * 512
        img += rng.randbytes(gap) if rng.random() < 0.5 else b"\0" * gap
        sector = len(img) // 512
        img += data
        img += b"\0" * (-len(img) % 512)
        manifest.append({"path": p, "sector": sector, "size": len(data),
                         "sha256": hashlib.sha256(data).hexdigest(), "head": data[:512].hex()})
# A long stretch of random bytes, as free space on a used disk.
img += rng.randbytes(64 << 20)
img += b"\0" * 512 * 1024
with open(os.path.join(scratch, "real.img"), "wb") as fh:
    fh.write(img)
with open(os.path.join(scratch, "manifest.json"), "w") as fh:
    json.dump(manifest, fh)
kinds = sum(1 for m in manifest if bytes.fromhex(m["head"])[:4] == b"PK\x03\x04")
print(f"image: {len(img) // 512} sectors, {len(manifest)} documents "
      f"({len(manifest) - kinds} compound documents, {kinds} ZIP archives)")
PY

rm -rf "$SCRATCH/tarvine-out" "$SCRATCH/photorec-out"
mkdir -p "$SCRATCH/photorec-out"
t0=$(date +%s.%N)
"$CLI" --image "$SCRATCH/real.img" raw --to "$SCRATCH/tarvine-out" >/dev/null 2>"$SCRATCH/tarvine.log" || true
t1=$(date +%s.%N)
# run from the scratch folder: the carver writes its log into the current folder
(cd "$SCRATCH" && photorec /log /d "$SCRATCH/photorec-out/recup" /cmd "$SCRATCH/real.img" \
    partition_none,fileopt,everything,disable,doc,enable,zip,enable,search >/dev/null 2>&1) || true
t2=$(date +%s.%N)

python3 - "$SCRATCH" "$t0" "$t1" "$t2" <<'PY'
import hashlib, json, os, sys
scratch, t0, t1, t2 = sys.argv[1], *map(float, sys.argv[2:])
manifest = json.load(open(os.path.join(scratch, "manifest.json")))
def outputs(folder):
    out = []
    for root, _, files in os.walk(folder):
        for f in files:
            data = open(os.path.join(root, f), "rb").read()
            out.append((hashlib.sha256(data).hexdigest(), data[:512].hex()))
    return out
def score(folder):
    # Each written file counts for one document at most: first the files
    # equal to a document, then files that begin like a document not yet
    # matched (several documents may share their first sector).
    outs = outputs(folder)
    used = [False] * len(outs)
    found = same = 0
    pending = []
    for m in manifest:
        hit = next((i for i, (s, _) in enumerate(outs) if not used[i] and s == m["sha256"]), None)
        if hit is None:
            pending.append(m)
            continue
        used[hit] = True
        found += 1
        same += 1
    for m in pending:
        hit = next((i for i, (_, h) in enumerate(outs) if not used[i] and h == m["head"]), None)
        if hit is not None:
            used[hit] = True
            found += 1
    return len(outs), found, same
n = len(manifest)
for name, folder, secs in (("tarvine-cli raw", "tarvine-out", t1 - t0), ("photorec", "photorec-out", t2 - t1)):
    files, found, same = score(os.path.join(scratch, folder))
    print(f"{name:16s} files written {files:3d}  documents found {found:3d}/{n}  "
          f"byte-identical {same:3d}/{n}  time {secs:6.2f} s")
if t2 > t1:
    print(f"time ratio tarvine-cli raw / photorec: {(t1 - t0) / (t2 - t1):.2f} (goal: under 1)")
PY
