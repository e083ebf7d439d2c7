#!/usr/bin/env bash
# Makes the images the Wine tests use, with the real Linux image tool:
#   make_images.sh DIR
# DIR/img & dir/three.wim  three images with the names, descriptions, display names and versions
#                          the window tests expect (full-width text, Chinese, missing fields)
# DIR/small.wim            one image of a small Windows-like tree (DIR/small-src), version 10
# DIR/.hidden.wim          a copy that Wine shows as hidden (its name begins with a dot)
# DIR/xp.wim               a copy whose image has the major version 5
# DIR/matrix               the fault matrix's images (below)
set -eu
dir=$1
mkdir -p "$dir/img & dir"
src=$dir/small-src
rm -rf "$src"
mkdir -p "$src/Windows/System32" "$src/Users/Public"
head -c 3145728 /dev/urandom >"$src/Windows/System32/big.bin"
printf '中文文件内容\n' >"$src/Users/Public/说明.txt"

wim() { wimlib-imagex "$@" >/dev/null; }
three="$dir/img & dir/three.wim"
rm -f "$three" "$dir/small.wim"
wim capture "$src" "$three" "Win10 Pro" "专业版"
wim info "$three" 1 --image-property DISPLAYNAME="Windows 10 专业版" --image-property WINDOWS/VERSION/MAJOR=10
wim append "$src" "$three" "Home" "Home"
wim info "$three" 2 --image-property WINDOWS/VERSION/MAJOR=6
wim append "$src" "$three" "ＡＢＣ１２３　企业版"
wim capture "$src" "$dir/small.wim" "Small" "Small test system"
wim info "$dir/small.wim" 1 --image-property DISPLAYNAME="小型测试系统" --image-property WINDOWS/VERSION/MAJOR=10
tee "$dir/.hidden.wim" >"$dir/xp.wim" <"$dir/small.wim"
wim info "$dir/xp.wim" 1 --image-property WINDOWS/VERSION/MAJOR=5

# DIR/matrix: the fault matrix's images. The same small image under hostile paths (names that are
# legal 8.3 names keep their characters in the short path the batch files get; two folder chains
# far over 260 characters), an ESD form of it, and files that are no usable image.
m=$dir/matrix
rm -rf "$m"
same() { mkdir -p "$(dirname "$1")" && { ln "$dir/small.wim" "$1" 2>/dev/null || cp "$dir/small.wim" "$1"; }; }
for p in "a&b/x&y.wim" "%OS%/%PATH%.wim" "(x86)/a(1).wim" "中文目录/系统映像.wim" "ภาพ/ภาพระบบ.wim" "all & %OS% ^ (x) !/映像 ภาพ 100%.wim"; do
  same "$m/$p"
done
chain() { local d=$m/$1; for i in $(seq 1 "$2"); do d="$d/folder number $i with a long name"; done; same "$d/$3"; }
chain deep 14 "the image file with a long name.wim"
chain deeper 32 image.wim  # so deep that even the short form is over 260 characters
wim export "$dir/small.wim" 1 "$m/small.esd" --solid
# Names whose UTF-16 code units hold a 0x0A byte (U+4E0A, U+300A) and a description with a line
# feed; Debian's wimlib 1.13 also ends the XML it stores with a line feed.
wim capture "$src" "$m/names.wim" "上海" "《简介》"
wim info "$m/names.wim" 1 --image-property DISPLAYNAME="上海版" --image-property WINDOWS/VERSION/MAJOR=10
wim append "$src" "$m/names.wim" "《专业》版" "$(printf '第一行\n第二行')"
wim append "$src" "$m/names.wim" "Home" "Home"
mkdir -p "$m/bad/folder.wim"
head -c $(($(stat -c %s "$dir/small.wim") / 2)) "$dir/small.wim" >"$m/bad/truncated.wim"
wim capture "$src/Users" "$m/bad/no-images.wim" "Gone"
wim delete "$m/bad/no-images.wim" 1
