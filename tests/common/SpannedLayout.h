// Two disks holding a volume extended over three segments, with the sector
// numbers of its layout worked out by hand.
//
// Disk 0: partition at 100, hot-fix at 132, volume tables at V = 260,
// segments from 388 in table order: BIG segment 1 (blocks 120..219) at 388,
// SMALL at 1188, BIG segment 0 (blocks 0..119) at 1588.
// Disk 1: partition at 63, hot-fix at 127, V = 255: BIG segment 2 (blocks
// 220..299) at 383, OLD (a table without segment fields) at 1023.
#pragma once

namespace testutil {

inline constexpr const char* kSpannedDisks = R"(disk 0 seed=5
partition first=100 count=4000
segment BIG 1 blocks=100
volume SMALL blocks=50
file S.TXT text="small"
volume BIG blocks=120 det1=119,120 det2=250,251
file CROSS.BIN size=40000 blocks=114-118,121-125
file EDGE.BIN size=16000 blocks=218-221
file ONE.TXT text="in segment one" blocks=150
folder FAR
file FAR.DAT in=FAR size=3000 blocks=260
disk 1
partition first=63 count=2000 hotfix=1 area=160
segment BIG 2 blocks=80
volume OLD blocks=20 codes=none
file O.TXT text="old"
)";

}  // namespace testutil
