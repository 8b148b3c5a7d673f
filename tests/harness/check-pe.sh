#!/bin/sh
# Checks that a built program is a 64-bit Windows GUI executable that imports only DLLs every
# Windows has (no libstdc++, libgcc or winpthread DLL beside it). With its link map, also that it
# is the shippable build: no symbols, no debug sections, none of the test seams in it (neither
# their names in the file nor their code in the link map, which names every function the linker
# kept even when the file carries no symbols), nothing taken from the GUID library, and the stack
# protector's canary check and guard linked in. With a size bound, also that it has at most that
# many bytes.
#   check-pe.sh OBJDUMP PROGRAM.exe [LINK_MAP [MAX_BYTES]]
set -u
objdump=$1
program=$2
link_map=${3:-}
max_bytes=${4:-}
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
[ -n "$link_map" ] || exit $status

size=$(wc -c <"$program")
if [ -z "$max_bytes" ]; then
  echo "$size bytes (no bound)"
elif [ "$size" -le "$max_bytes" ]; then
  echo "$size bytes (at most $max_bytes)"
else
  echo "$size bytes, more than the $max_bytes allowed" >&2
  status=1
fi
# GNU objdump says "no symbols" below the heading, llvm-objdump nothing.
symbols=$("$objdump" -t "$program" | sed '1,/^SYMBOL TABLE:/d' | grep -v -e '^no symbols' -e '^[[:space:]]*$' | head -1)
[ -z "$symbols" ] || { echo "the program carries symbols (not stripped)" >&2; status=1; }
debug=$("$objdump" -h "$program" | awk '$2 ~ /^\.z?debug/ { print $2 }' | tr '\n' ' ')
[ -z "$debug" ] || { echo "debug sections: $debug" >&2; status=1; }
# The names of settings/registry_test_seam.h, localization/help_test_seam.h and
# integration/default_apps_test_seam.h.
seams='TestSeam|TestHooks|RegistryWriteFailure|FailNextRegistryWrites|FailRegistryWritesToKey|VOK_TEST_SEAMS'
found=$(grep -a -o -E "$seams" "$program" | sort -u | tr '\n' ' ')
[ -z "$found" ] || { echo "test seam names in the program: $found" >&2; status=1; }
if [ ! -s "$link_map" ]; then
  echo "no link map at $link_map" >&2
  status=1
else
  found=$(grep -o -E "[[:alnum:]_]*($seams)[[:alnum:]_]*" "$link_map" | sort -u | tr '\n' ' ')
  [ -z "$found" ] || { echo "test seam code linked into the program: $found" >&2; status=1; }
  # The program defines the few COM identifiers it uses; the GUID library gives it nothing.
  ! grep -q 'libuuid\.a(' "$link_map" || { echo "members of libuuid linked into the program" >&2; status=1; }
  # A symbol the linker placed is a line of its own: an address first, the name last (GNU ld's
  # and lld's maps alike). Without the protector neither symbol is there at all.
  for symbol in __stack_chk_fail __stack_chk_guard; do
    if awk -v name="$symbol" '$NF == name && $1 ~ /^(0x)?[0-9a-fA-F]+$/ { found = 1 } END { exit !found }' "$link_map"; then
      echo "$symbol linked in"
    else
      echo "$symbol not linked into the program (built without the stack protector?)" >&2
      status=1
    fi
  done
fi
exit $status
