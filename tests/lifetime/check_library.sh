#!/usr/bin/env bash
# The shipped Windows files, read without running them: ebookview.dll and
# ebookhost.exe are built for the tree's machine, the library exports exactly
# ShowEbook at ordinal 1 (by that name, undecorated), and neither needs a
# MinGW runtime DLL (everything is linked statically). Every shipped file
# carries a version resource with the project's version (the one bookc
# --version prints) and our product name; the programs carry the application
# manifest. The import library and its definition file lie beside the
# library. Needs no Wine.
#
#   check_library.sh BINDIR OBJDUMP WINDRES i386|x86-64 BOOKC
set -euo pipefail
bin=$1
objdump=$2
windres=$3
machine=$4
version=$("$5" --version | sed -n 's/^bookc //p')

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

[ -n "$version" ] || fail "bookc --version printed no version"
for file in ebookview.dll ebookhost.exe bookc.exe skinsheet.exe themegen.exe; do
  resources=$("$windres" -J coff -O rc -i "$bin/$file" 2>&1) || fail "the resources of $file cannot be read: $resources"
  for value in "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\"" \
               "\"ProductName\", \"E-book viewer\"" "\"OriginalFilename\", \"$file\""; do
    grep -qF "$value" <<<"$resources" || fail "$file has no version value $value"
  done
  if [ "$file" != ebookview.dll ]; then
    # The manifest is resource 1 of type 24; windres prints its bytes as text.
    manifest=$(sed -n '/^1 24/,/^END/p' <<<"$resources")
    for value in gdiScaling 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a asInvoker; do
      grep -qF "$value" <<<"$manifest" || fail "$file has no application manifest with $value"
    done
  fi
done
[ -s "$bin/libebookview.a" ] && [ -s "$bin/ebookview.def" ] || fail "no import library and definition file beside the library"
echo "library check ($machine, version $version): ok"
