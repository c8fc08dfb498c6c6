#!/usr/bin/env bash
# Builds the demo volume shown by `make run`: a 1.44 MB headerless FAT12 image with a few
# files, nested directories, long names (Japanese among them) and the Shift-JIS short name
# テスト.TXT.
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# mtools must not ask questions; the Shift-JIS name is written by hand below.
printf 'mtools_skip_check=1\n' >"$work/mtoolsrc"
export MTOOLSRC="$work/mtoolsrc"
export LC_ALL=C.UTF-8
# A fixed clock keeps the listing the same from one build to the next.
export SOURCE_DATE_EPOCH=946684800

rm -f "$out.tmp"
mkfs.fat -C -F 12 -n DEMO -i 19790101 "$out.tmp" 1440 >/dev/null

printf 'Tamberlane demo volume.\r\n' >"$work/README.TXT"
printf '10 PRINT "HELLO"\r\n20 END\r\n' >"$work/HELLO.BAS"
head -c 5000 /dev/zero | tr '\0' 'x' >"$work/DATA.BIN"
printf 'A file with a long name.\r\n' >"$work/Long file name.txt"
printf 'Shift-JIS short name.\r\n' >"$work/SJISNAME.TXT"
printf 'Nested.\r\n' >"$work/NOTE.TXT"
printf 'Japanese long names.\r\n' >"$work/ゲームのセーブデータ一覧表.txt"
printf 'Japanese long names.\r\n' >"$work/取扱説明書（第二版）.doc"

mcopy -i "$out.tmp" "$work/README.TXT" "$work/HELLO.BAS" "$work/DATA.BIN" ::/
mcopy -i "$out.tmp" "$work/Long file name.txt" ::/
mcopy -i "$out.tmp" "$work/ゲームのセーブデータ一覧表.txt" "$work/取扱説明書（第二版）.doc" ::/
mcopy -i "$out.tmp" "$work/SJISNAME.TXT" ::/
mmd -i "$out.tmp" ::/DOCS ::/DOCS/SUB
mcopy -i "$out.tmp" "$work/NOTE.TXT" ::/DOCS/
mcopy -i "$out.tmp" "$work/README.TXT" ::/DOCS/SUB/

# mcopy shortens multi-byte names when it writes them, so the short name is patched in:
# the 11 name bytes of SJISNAME.TXT become テスト (83 65 83 58 83 67) plus blanks and TXT.
offset=$(LC_ALL=C grep -obUa 'SJISNAMETXT' "$out.tmp" | head -n 1 | cut -d: -f1)
[ -n "$offset" ] || { echo "make-demo-image: entry SJISNAME.TXT not found" >&2; exit 1; }
printf '\x83\x65\x83\x58\x83\x67\x20\x20TXT' | dd of="$out.tmp" bs=1 seek="$offset" conv=notrunc status=none

mv "$out.tmp" "$out"
