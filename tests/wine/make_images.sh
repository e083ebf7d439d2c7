#!/usr/bin/env bash
# Makes the images the Wine tests use, with the real Linux image tool:
#   make_images.sh DIR
# DIR/img & dir/three.wim  three images with the names, descriptions, display names and versions
#                          the window tests expect (full-width text, Chinese, missing fields)
# DIR/small.wim            one image of a small Windows-like tree (DIR/small-src), version 10
# DIR/.hidden.wim          a copy that Wine shows as hidden (its name begins with a dot)
set -eu
dir=$1
mkdir -p "$dir/img & dir" "$dir/a folder.wim"
src=$dir/small-src
rm -rf "$src"
mkdir -p "$src/Windows/System32/config" "$src/Program Files/App" "$src/Users/Public"
head -c 3145728 /dev/urandom >"$src/Windows/System32/big.bin"
printf 'MZ fake kernel\r\n' >"$src/Windows/System32/ntoskrnl.exe"
printf 'registry hive\n' >"$src/Windows/System32/config/SYSTEM"
printf '中文文件内容\n' >"$src/Users/Public/说明.txt"
printf 'readme & notes 100%%\n' >"$src/Program Files/App/read me.txt"
: >"$src/Users/Public/empty.txt"

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
cp "$dir/small.wim" "$dir/.hidden.wim"
