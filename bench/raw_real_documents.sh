#!/usr/bin/env bash
# Raw carving against real documents: Office 97-2003 files and ZIP archives
# (xlsx, docx, pptx, odt, ...) that Debian packages carry as examples and test
# data, plus Word, PowerPoint and Excel files that LibreOffice (headless)
# makes from them and a few single-sector archives made with Python's
# zipfile, are laid at sector starts of two disk images:
#
#   spread  four rounds over the documents with gaps of zeros and of random
#           bytes between them, then 64 MiB of random bytes;
#   packed  documents lying as small files lie on a suballocated volume:
#           first an adjacent pair (no gap) for every ordered pair of kinds,
#           then every document in shuffled order with gaps of 0 to 3
#           sectors.
#
# tarvine-cli raw and PhotoRec (package testdisk) carve the same image in
# the same run; for each the script reports the documents found (a written
# file that begins like the original, each file counted for one document at
# most), the ones written byte-identical, the ones found with the right kind
# (Word, Excel, PowerPoint or Zip, from the written file's extension), and
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

# Word and PowerPoint 97-2003 files, Calc-made workbooks and OpenDocument
# archives, converted once from the packages' own documents.
MADE="$SCRATCH/made"
if [ ! -f "$MADE/.done" ]; then
    if ! command -v soffice >/dev/null 2>&1; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
            libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui >/dev/null 2>&1 ||
            echo "LibreOffice is not available: no Word or PowerPoint files are made" >&2
    fi
    if command -v soffice >/dev/null 2>&1; then
        rm -rf "$MADE"
        mkdir -p "$MADE"
        mapfile -t docx < <(find "$SCRATCH/tree" -name '*.docx' | sort)
        mapfile -t pptx < <(find "$SCRATCH/tree" -name '*.pptx' | sort)
        mapfile -t xlsx < <(find "$SCRATCH/tree" -name '*.xlsx' | sort | head -n 4)
        profile="-env:UserInstallation=file://$SCRATCH/lo-profile"
        convert() {  # FORMAT FOLDER FILE...
            local fmt=$1 out=$2; shift 2
            [ $# -gt 0 ] || return 0
            soffice "$profile" --headless --convert-to "$fmt" --outdir "$MADE/$out" "$@" >/dev/null 2>&1 || true
        }
        convert doc doc "${docx[@]}"
        convert odt odt "${docx[@]}"
        convert ppt ppt "${pptx[@]}"
        convert odp odp "${pptx[@]}"
        convert xls xls "${xlsx[@]}"
        convert ods ods "${xlsx[@]}"
        touch "$MADE/.done"
    fi
fi
# Archives of a single sector (the end record in the first sector), as small
# archives lie on a volume.
if [ ! -d "$MADE/small-zip" ]; then
    mkdir -p "$MADE/small-zip"
    python3 - "$MADE/small-zip" <<'PY'
import sys, zipfile
for i in range(4):
    with zipfile.ZipFile(f"{sys.argv[1]}/small{i}.zip", "w", zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED) as z:
        z.writestr(f"note{i}.txt", "a short note " * (3 * i + 1))
        if i == 3:
            z.comment = b"small archive"
PY
fi

python3 - "$SCRATCH" <<'PY'
import hashlib, json, os, random, sys
scratch = sys.argv[1]
OLE = bytes.fromhex("D0CF11E0A1B11AE1")
KIND_OF_EXT = {"doc": "Word", "dot": "Word", "xls": "Excel", "ppt": "PowerPoint", "pps": "PowerPoint"}
docs = []
for top in ("tree", "made"):
    for root, _, files in os.walk(os.path.join(scratch, top)):
        for f in sorted(files):
            p = os.path.join(root, f)
            with open(p, "rb") as fh:
                data = fh.read()
            ext = f.rsplit(".", 1)[-1].lower()
            if data[:8] == OLE and ext in KIND_OF_EXT:
                docs.append((p, data, KIND_OF_EXT[ext]))
            elif data[:4] == b"PK\x03\x04":
                docs.append((p, data, "Zip"))
docs.sort(key=lambda d: d[0])
# The same document (by content) only once.
seen, unique = set(), []
for d in docs:
    h = hashlib.sha256(d[1]).digest()
    if h not in seen:
        seen.add(h)
        unique.append(d)
docs = unique
rng = random.Random(20240607)

def lay(img, manifest, doc, gap, random_gap):
    p, data, kind = doc
    img += rng.randbytes(gap * 512) if random_gap else b"\0" * (gap * 512)
    sector = len(img) // 512
    img += data
    img += b"\0" * (-len(img) % 512)
    manifest.append({"path": p, "sector": sector, "size": len(data), "kind": kind,
                     "sha256": hashlib.sha256(data).hexdigest(), "head": data[:512].hex()})

def write(name, img, manifest):
    with open(os.path.join(scratch, name + ".img"), "wb") as fh:
        fh.write(img)
    with open(os.path.join(scratch, name + ".json"), "w") as fh:
        json.dump(manifest, fh)
    counts = {}
    for m in manifest:
        counts[m["kind"]] = counts.get(m["kind"], 0) + 1
    print(f"{name} image: {len(img) // 512} sectors, {len(manifest)} documents (" +
          ", ".join(f"{counts[k]} {k}" for k in sorted(counts)) + ")")

# Spread: four rounds over the documents, each in its own order. Gaps are
# mostly a few sectors (several documents share a scan window), some span a
# window or more; half hold zeros, half random bytes.
img = bytearray(b"\0" * 512 * 64)   # sector 0 stays empty
manifest = []
for round_ in range(4):
    order = list(range(len(docs)))
    if round_:
        rng.shuffle(order)
    for i in order:
        pick = rng.random()
        gap = rng.randint(1, 64) if pick < 0.5 else rng.randint(64, 800) if pick < 0.9 else rng.randint(800, 4000)
        lay(img, manifest, docs[i], gap, rng.random() < 0.5)
# A long stretch of random bytes, as free space on a used disk.
img += rng.randbytes(64 << 20)
img += b"\0" * 512 * 1024
write("spread", img, manifest)

# Packed: an adjacent pair for every ordered pair of kinds, then every
# document shuffled, most right in the next sector after the one before.
img = bytearray(b"\0" * 512 * 64)
manifest = []
by_kind = {}
for d in docs:
    by_kind.setdefault(d[2], []).append(d)
kinds = sorted(by_kind)
for a in kinds:
    for b in kinds:
        first = rng.choice(by_kind[a])
        second = rng.choice([d for d in by_kind[b] if d is not first] or by_kind[b])
        lay(img, manifest, first, rng.randint(0, 3), False)
        lay(img, manifest, second, 0, False)
order = list(range(len(docs)))
rng.shuffle(order)
for i in order:
    lay(img, manifest, docs[i], rng.choice((0, 0, 0, 1, 2, 3)), rng.random() < 0.3)
img += b"\0" * 512 * 1024
write("packed", img, manifest)
PY

KIND_OF_NAME='
def kind_of_name(name):
    ext = name.rsplit(".", 1)[-1].lower()
    return {"doc": "Word", "xls": "Excel", "ppt": "PowerPoint"}.get(ext, "Zip")
'

for layout in spread packed; do
    rm -rf "$SCRATCH/tarvine-out" "$SCRATCH/photorec-out"
    mkdir -p "$SCRATCH/photorec-out"
    t0=$(date +%s.%N)
    "$CLI" --image "$SCRATCH/$layout.img" raw --to "$SCRATCH/tarvine-out" >/dev/null 2>"$SCRATCH/tarvine.log" || true
    t1=$(date +%s.%N)
    # run from the scratch folder: the carver writes its log into the current folder
    (cd "$SCRATCH" && photorec /log /d "$SCRATCH/photorec-out/recup" /cmd "$SCRATCH/$layout.img" \
        partition_none,fileopt,everything,disable,doc,enable,zip,enable,search >/dev/null 2>&1) || true
    t2=$(date +%s.%N)

    python3 - "$SCRATCH" "$layout" "$t0" "$t1" "$t2" <<PY
import hashlib, json, os, sys
$KIND_OF_NAME
scratch, layout = sys.argv[1], sys.argv[2]
t0, t1, t2 = map(float, sys.argv[3:])
manifest = json.load(open(os.path.join(scratch, layout + ".json")))
def outputs(folder):
    out = []
    for root, _, files in os.walk(folder):
        for f in files:
            data = open(os.path.join(root, f), "rb").read()
            out.append((hashlib.sha256(data).hexdigest(), data[:512].hex(), kind_of_name(f)))
    return out
def score(folder):
    # Each written file counts for one document at most: first the files
    # equal to a document, then files that begin like a document not yet
    # matched (several documents may share their first sector).
    outs = outputs(folder)
    used = [False] * len(outs)
    found = same = right = 0
    pending = []
    for m in manifest:
        hit = next((i for i, o in enumerate(outs) if not used[i] and o[0] == m["sha256"]), None)
        if hit is None:
            pending.append(m)
            continue
        used[hit] = True
        found += 1
        same += 1
        right += outs[hit][2] == m["kind"]
    for m in pending:
        hit = next((i for i, o in enumerate(outs) if not used[i] and o[1] == m["head"]), None)
        if hit is not None:
            used[hit] = True
            found += 1
            right += outs[hit][2] == m["kind"]
    return len(outs), found, same, right
n = len(manifest)
for name, folder, secs in (("tarvine-cli raw", "tarvine-out", t1 - t0), ("photorec", "photorec-out", t2 - t1)):
    files, found, same, right = score(os.path.join(scratch, folder))
    print(f"{layout:6s} {name:16s} files written {files:3d}  documents found {found:3d}/{n}  "
          f"byte-identical {same:3d}/{n}  right kind {right:3d}/{n}  time {secs:6.2f} s")
if t2 > t1:
    print(f"{layout} time ratio tarvine-cli raw / photorec: {(t1 - t0) / (t2 - t1):.2f} (goal: under 1)")
PY
done
