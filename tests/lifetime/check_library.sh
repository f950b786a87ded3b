#!/usr/bin/env bash
# The shipped Windows files, read without running them: ebookview.dll and
# ebookhost.exe are built for the tree's machine, the library exports exactly
# ShowEbook at ordinal 1 (by that name, undecorated), and neither needs a
# MinGW runtime DLL (everything is linked statically). Needs no Wine.
#
#   check_library.sh BINDIR OBJDUMP i386|x86-64
set -euo pipefail
bin=$1
objdump=$2
machine=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

for file in ebookview.dll ebookhost.exe; do
  [ -f "$bin/$file" ] || fail "$bin/$file is missing"
  headers=$("$objdump" -p "$bin/$file") || fail "$file cannot be read as a Windows file"
  format=$(sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p' <<<"$headers" | head -n1)
  [ "$format" = "pei-$machine" ] || fail "$file is $format, not pei-$machine"
  imports=$(grep -E 'DLL Name:' <<<"$headers" || true)
  if grep -Eiq 'libstdc|libgcc|libwinpthread|zlib1' <<<"$imports"; then
    fail "$file needs a MinGW DLL: $(tr -s ' \t\n' ' ' <<<"$imports")"
  fi
done

exports=$("$objdump" -p "$bin/ebookview.dll")
table=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$exports" | grep -E '^\s+\[' || true)
[ "$(grep -c . <<<"$table")" -eq 1 ] || fail "expected exactly one export, got: $table"
grep -Eq '^\s+\[\s*0\]\s+ShowEbook$' <<<"$table" || fail "the one export is not named ShowEbook: $table"
# Its address is the first and only entry of the address table, whose
# ordinals start at 1.
addresses=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$exports")
grep -Eq 'Ordinal Base 1$' <<<"$addresses" && grep -Eq '^\s+\[\s*0\] \+base\[\s*1\] ' <<<"$addresses" ||
  fail "ShowEbook is not ordinal 1: $addresses"
echo "library check ($machine): ok"
