#!/bin/sh
# Runs the template writer at build time under Wine, in the build's test prefix (never ~/.wine).
#   run_under_wine.sh PREFIX HARNESS TOOL.exe OUTPUT
# OUTPUT is a Unix path; the tool gets it through Wine's Z: drive. When the prefix does not exist
# yet it is made the way the test session makes it (so the tests reuse it) and stopped afterwards.
# Wine's session services inherit the first process's output: everything goes to a log file, never
# to the pipe the build tool reads.
set -u
prefix=$1
harness=$2
tool=$3
output=$4

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

make_prefix() {
  sh "$harness" start "$prefix" >/dev/null 2>&1 </dev/null || { echo "cannot make the Wine prefix $prefix" >&2; exit 1; }
}

started=0
if [ ! -f "$prefix/system.reg" ] || [ ! -d "$prefix.pristine" ]; then
  make_prefix
  started=1
fi

mkdir -p "$(dirname "$output")"
rm -f "$output"
log="$output.log"
windows_output="Z:$(printf '%s' "$output" | tr '/' '\\')"
wine "$tool" "$windows_output" >"$log" 2>&1 </dev/null
rc=$?

# On a loaded machine wineboot has been seen to stop half-way, leaving a prefix without its system
# libraries (the tool then fails to start). A prefix made here is made once more and the tool rerun.
if [ $rc -ne 0 ] && [ "$started" = 1 ]; then
  sh "$harness" stop "$prefix" >/dev/null 2>&1 </dev/null
  rm -rf "$prefix" "$prefix.pristine"
  make_prefix
  wine "$tool" "$windows_output" >"$log" 2>&1 </dev/null
  rc=$?
fi

if [ "$started" = 1 ]; then
  sh "$harness" stop "$prefix" >/dev/null 2>&1 </dev/null
fi
if [ $rc -ne 0 ] || [ ! -s "$output" ]; then
  echo "language_template failed (exit code $rc):" >&2
  cat "$log" >&2
  exit 1
fi
rm -f "$log"
exit 0
