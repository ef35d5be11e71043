#!/usr/bin/env bash
# Reading a file through the mount against saving it: `dd bs=1M` of a big
# file of the mounted volume to /dev/null, and `tarvine-cli save` of the
# same file, on one built image (the image's pages warm in both). Prints
# one row: the mount's throughput, the save's, and their ratio (goal: the
# mount reads at 0.8 of the save's speed or better).
#
#   bench/mount_read.sh BUILD_DIR [MIB]     (default 512 MiB; needs FUSE)
set -euo pipefail

BUILD=${1:?usage: mount_read.sh BUILD_DIR [MIB]}
MIB=${2:-512}
CLI="$BUILD/cli/tarvine-cli"
NWIMAGE="$BUILD/tools/nwimage/nwimage"
[ -x "$CLI" ] && [ -x "$NWIMAGE" ] || { echo "build tarvine-cli and nwimage first" >&2; exit 2; }

work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
    if mountpoint -q "$mnt" 2>/dev/null; then fusermount3 -u -z "$mnt" 2>/dev/null || umount -l "$mnt"; fi
    rm -rf "$work"
}
trap cleanup EXIT

# 64 KiB blocks; the volume holds the file and its tables.
blocks=$((MIB * 16 + 64))
cat >"$work/big.nwd" <<DESC
partition first=63 count=$((blocks * 128 + 4096))
volume V spb=128 blocks=$blocks
file BIG.BIN size=${MIB}M
DESC
"$NWIMAGE" "$work/big.nwd" -o "$work/big.img" >/dev/null

seconds() { python3 -c 'import sys; print("%.3f" % (float(sys.argv[2]) - float(sys.argv[1])))' "$@"; }
now() { date +%s.%N; }

cat "$work/big.img" >/dev/null  # the image's pages warm for both
"$CLI" --image "$work/big.img" save --volume 0 --to "$work/warm" BIG.BIN >/dev/null
rm -rf "$work/warm"
t0=$(now)
"$CLI" --image "$work/big.img" save --volume 0 --to "$work/saved" BIG.BIN >/dev/null
t1=$(now)
save=$(seconds "$t0" "$t1")
rm -rf "$work/saved"

mkdir -p "$mnt"
"$CLI" --image "$work/big.img" mount --volume 0 "$mnt"
t0=$(now)
dd if="$mnt/BIG.BIN" of=/dev/null bs=1M status=none
t1=$(now)
read=$(seconds "$t0" "$t1")
umount "$mnt" 2>/dev/null || fusermount3 -u "$mnt"

python3 - "$MIB" "$read" "$save" <<'PY'
import sys
mib, read, save = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
r, s = mib / read, mib / save
print("mount_read\tdd bs=1M of %d MiB through the mount (MiB/s) vs save\t%.1f\t%.1f\t%.2f\t>= 0.8" % (mib, r, s, r / s))
PY
