#!/bin/sh
# Checks that a built program is a 64-bit Windows GUI executable that imports only DLLs every
# Windows has (no libstdc++, libgcc or winpthread DLL beside it).
#   check-pe.sh OBJDUMP PROGRAM.exe
set -u
objdump=$1
program=$2
headers=$("$objdump" -p "$program") || { echo "cannot read $program" >&2; exit 1; }
status=0
echo "$headers" | grep -q 'Magic.*PE32+' || { echo "not a 64-bit (PE32+) image" >&2; status=1; }
echo "$headers" | grep -q 'Subsystem.*Windows GUI' || { echo "not a GUI-subsystem program" >&2; status=1; }
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|version|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no imports found" >&2; status=1; }
for dll in $imports; do
  if echo "$dll" | grep -E -q "$allowed"; then
    echo "imports $dll"
  else
    echo "imports $dll, which is not part of Windows" >&2
    status=1
  fi
done
exit $status
