#!/usr/bin/env bash
# Benchmark, not a test: under one warm persistent Wine server, counts the registry calls of a
# silent setup and a silent uninstall of a mock installation and of the same program doing nothing
# (started with an unknown switch, it only starts up and ends), then times each of them, repeated,
# and prints the size of the exe.
#   scripts/bench.sh [RUNS]             (default 9 timed runs of each)
#   scripts/bench.sh --registry-calls   the registry calls only
# The disposable prefix is build/bench/prefix, the traces are kept in build/bench/trace;
# ~/.wine is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
registry_only=no
if [ "${1:-}" = --registry-calls ]; then
  registry_only=yes
  shift
fi
runs=${1:-9}
./scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target uninstall >/dev/null

prefix=$root/build/bench/prefix
session=$root/tests/harness/wine-session.sh
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
echo "== Starting a persistent Wine server on $prefix (the first time, wineboot takes a while)"
sh "$session" start "$prefix" >/dev/null
trap 'sh "$session" stop "$prefix" >/dev/null' EXIT
sh "$session" reset "$prefix"  # the registry and folders as the prefix was made
[ -n "${DISPLAY:-}" ] || { DISPLAY=$(cat "$prefix.display"); export DISPLAY; }

install_unix="$prefix/drive_c/Program Files/Ovenix"
install_win='C:\Program Files\Ovenix'
. scripts/mock-installation.sh

# traced NAME CODE ARGS...: runs the installed program with ARGS, its registry trace going to
# build/bench/trace/NAME.trace. A run that does not end with exit code CODE ends the benchmark.
trace_dir=$root/build/bench/trace
rm -rf "$trace_dir"
mkdir -p "$trace_dir"
traced() {
  local name=$1 expected=$2 status=0
  shift 2
  WINEDEBUG=+pid,trace+reg wine "$install_win\\uninstall.exe" "$@" >/dev/null 2>"$trace_dir/$name.trace" </dev/null ||
    status=$?
  [ "$status" -eq "$expected" ] || { echo "uninstall.exe $* ended with exit code $status" >&2; exit 1; }
}

# wait_for_self_removal ROUND: the self-removal batch file pauses two seconds, then deletes the
# program and its folder.
wait_for_self_removal() {
  for _ in $(seq 1 120); do
    [ -e "$install_unix" ] || break
    sleep 0.25
  done
  [ ! -e "$install_unix" ] || { echo "round $1: the installation folder was not removed" >&2; exit 1; }
  sleep 0.5
}

# The same program built without setup's check of what Windows opens each chosen extension with,
# never shipped: the difference between the two setups is what the check adds.
cmake -S . -B build/bench/without-check -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVOK_BUILD_TESTS=OFF -DVOK_WITHOUT_OPENS_WITH_CHECK=ON >/dev/null
cmake --build build/bench/without-check --target uninstall -j 2 >/dev/null

# Counted on the registry as the prefix was made, so that every count starts from the same state.
echo "== Registry calls: a process start, a silent setup, a silent uninstall"
lay_out_mock_installation "$install_unix"
traced start 87 -benchmark-idle  # an unknown switch: exit code 87
traced setup 0 -setup -s
traced uninstall 0 -s
wait_for_self_removal traced
sh "$session" reset "$prefix"
lay_out_mock_installation "$install_unix"
cp build/bench/without-check/uninstall.exe "$install_unix/uninstall.exe"
traced setup-without-check 0 -setup -s
sh "$session" reset "$prefix"
python3 scripts/registry_calls.py "process start (unknown switch)=$trace_dir/start.trace" \
  "silent setup (-setup -s)=$trace_dir/setup.trace" "silent uninstall (-s)=$trace_dir/uninstall.trace" \
  "silent setup without the opens-with check=$trace_dir/setup-without-check.trace"
python3 - "$trace_dir/setup.trace" "$trace_dir/setup-without-check.trace" <<'EOF'
import sys
sys.path.insert(0, "scripts")
from registry_calls import count
with_check, without_check = (count(open(path, encoding="utf-8", errors="replace")) for path in sys.argv[1:3])
print(f"  the opens-with check adds to the silent setup {with_check[3] - without_check[3]:+,} lines, "
      f"{with_check[0] - without_check[0]:+,} calls")
EOF
echo "counted under $(wine --version)"
[ "$registry_only" = no ] || exit 0

# timed NAME CODE ARGS...: runs the installed program with ARGS and adds its wall time in
# microseconds to the list NAME. A run that does not end with exit code CODE ends the benchmark.
declare -A times=()
timed() {
  local name=$1 expected=$2 start end status
  shift 2
  start=${EPOCHREALTIME/./}
  status=0
  wine "$install_win\\uninstall.exe" "$@" >/dev/null 2>&1 </dev/null || status=$?
  end=${EPOCHREALTIME/./}
  [ "$status" -eq "$expected" ] || { echo "uninstall.exe $* ended with exit code $status" >&2; exit 1; }
  times[$name]+="$((end - start)) "
}

echo "== $runs rounds: a process start, a silent setup, a silent uninstall"
for round in $(seq 1 "$runs"); do
  lay_out_mock_installation "$install_unix"
  timed start 87 -benchmark-idle  # an unknown switch: exit code 87
  timed setup 0 -setup -s
  timed uninstall 0 -s
  wait_for_self_removal "$round"
done

python3 - "$runs" "${times[start]}" "${times[setup]}" "${times[uninstall]}" "$(stat -c %s build/uninstall.exe)" <<'EOF'
import statistics, sys
runs, size = sys.argv[1], int(sys.argv[5])
rows = [("process start (unknown switch)", sys.argv[2]), ("silent setup (-setup -s)", sys.argv[3]),
        ("silent uninstall (-s)", sys.argv[4])]
medians = {}
print(f"uninstall.exe: {size:,} bytes")
print(f"{runs} runs each, wall seconds: median, spread (min .. max)")
for label, text in rows:
    values = sorted(int(v) / 1e6 for v in text.split())
    medians[label] = statistics.median(values)
    print(f"  {label:32} {medians[label]:6.3f}   {values[0]:.3f} .. {values[-1]:.3f}")
start = medians[rows[0][0]]
print(f"above a process start: setup {medians[rows[1][0]] - start:+.3f} s, uninstall {medians[rows[2][0]] - start:+.3f} s")
EOF
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "machine: $(nproc) cores, ${cpu:-unknown CPU}, $(wine --version), load average $(cut -d' ' -f1-3 /proc/loadavg)"
