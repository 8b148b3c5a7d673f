#!/usr/bin/env python3
"""Counts the registry calls of a program's own process in a Wine 8 trace.

    registry_calls.py LABEL=TRACE [LABEL=TRACE ...]

Each TRACE is the standard error of one `wine PROGRAM` run with WINEDEBUG=+pid,trace+reg. The
program's own process is the first process id in it, its start-up included. Other processes print
into the same file later, and are not counted: those the program starts (the uninstall's batch
file: cmd, its console and the program it runs again) and those Wine starts for it (its desktop
process, which the session's first window needs, and its menu helper for every shortcut made).

Wine 8 traces a call on the reg channel at two levels, and not every call at both:
  - ntdll prints each Nt*Key call that goes to the registry server, with its arguments;
    NtOpenKeyEx and NtCreateKey print a second line with their result ("NtOpenKeyEx <- 0x88").
    NtEnumerateKey and NtQueryKey print nothing.
  - kernelbase prints a line for some Reg* functions only: RegQueryValueExW (then its
    NtQueryValueKey), RegDeleteKeyExW (after its NtOpenKeyEx and NtDeleteKey, with the result),
    RegGetValueW and RegLoadMUIStringW (then the calls they make), RegEnumKeyExW and
    RegQueryInfoKeyW (whose NtEnumerateKey and NtQueryKey print nothing). RegOpenKeyExW,
    RegCreateKeyExW, RegSetValueExW and RegDeleteValueW print nothing of their own.
  - create_special_root_hkey and RtlOpenCurrentUser print a line beside the NtCreateKey or
    NtOpenKeyEx that opens a root key; the language cache prints its bookkeeping (reg_mui_cache_get,
    reg_mui_cache_put, dump_mui_cache), which asks the registry nothing.
So a line is not a call. Here a registry call is one call the registry server receives, as far as
the trace shows it: an ntdll Nt* line that is not a result line, or a RegEnumKeyExW or
RegQueryInfoKeyW line. (The A forms of these functions do not appear in these traces and are not
listed.) A key open is an NtOpenKeyEx call (what RegOpenKeyEx* and each key deletion make);
NtCreateKey (what RegCreateKeyEx* makes, for an existing key too) is counted apart. The trace lines
of the process are printed as well: they are what a plain count of its lines gives.

A trace without a single registry line for its first process ends the count with an error: Wine
printing nothing (a WINEDEBUG that did not arrive, another channel name) would read as no calls.

The start-up of every process includes reading the list of fonts under HKLM\Software\Microsoft\
Windows NT\CurrentVersion\Fonts, one NtEnumerateValueKey per entry, and Wine enters the fonts
installed on the machine there: the counts of every run go up or down with them (by 40 calls each
after 40 fonts came onto the build machine). The calls a run makes above the first run of the list
(the program doing nothing) do not depend on them, and are printed after the table.
"""
import re
import sys

LINE = re.compile(r"^([0-9a-f]+):[0-9a-f]+:trace:reg:(\S+)(?: (.*))?$")
# kernelbase lines that stand for a server call ntdll does not print.
SILENT_NT_CALLS = {"RegEnumKeyExW", "RegQueryInfoKeyW"}
# Lines known to stand for no call of their own (see above). Any other kind is named, so that a Wine
# that prints more, or a program that starts using another function, is noticed, not left out.
WRAPPERS = {"RegQueryValueExW", "RegDeleteKeyExW", "RegGetValueW", "RegLoadMUIStringW",
            "create_special_root_hkey", "RtlOpenCurrentUser", "reg_mui_cache_get", "reg_mui_cache_put",
            "dump_mui_cache"}


def count(lines):
    """Returns (calls, key opens, key creates, trace lines, open lines, unknown kinds) of the first process."""
    first = None
    calls = opens = creates = total = open_lines = 0
    unknown = set()
    for line in lines:
        match = LINE.match(line.rstrip("\n"))
        if not match:
            continue  # another channel, another class, or the launcher's own notes
        pid, function, rest = match.group(1), match.group(2), match.group(3) or ""
        first = first or pid
        if pid != first:
            continue
        total += 1
        open_lines += function.startswith("NtOpenKey")
        if function.startswith("Nt"):
            if rest.startswith("<-"):
                continue
            calls += 1
            opens += function.startswith("NtOpenKey")
            creates += function == "NtCreateKey"
        elif function in SILENT_NT_CALLS:
            calls += 1
        elif function not in WRAPPERS:
            unknown.add(function)
    return calls, opens, creates, total, open_lines, unknown


def main(arguments):
    rows = []
    for argument in arguments:
        label, _, path = argument.partition("=")
        with open(path, encoding="utf-8", errors="replace") as trace:
            calls, opens, creates, total, open_lines, unknown = count(trace)
        if total == 0:
            sys.exit(f"{label}: no registry trace lines in {path}: did WINEDEBUG=+pid,trace+reg reach Wine?")
        for function in sorted(unknown):
            print(f"{label}: lines of {function} are not counted, and not known to stand for no call",
                  file=sys.stderr)
        rows.append((label, total, open_lines, calls, opens, creates))
    print("registry calls of the program's own process, its start-up included (scripts/registry_calls.py):")
    print("trace lines and the NtOpenKeyEx lines among them; calls the registry server receives, opens, creates")
    print(f"  {'':44} {'lines':>6} {'opens':>6} {'calls':>7} {'opens':>6} {'creates':>8}")
    for label, total, open_lines, calls, opens, creates in rows:
        print(f"  {label:44} {total:6,} {open_lines:6,} {calls:7,} {opens:6,} {creates:8,}")
    # The start-up's share follows the machine (one call per font Wine lists, for one); what a run
    # adds to the first row's does not.
    first = rows[0]
    for label, total, open_lines, calls, opens, creates in rows[1:]:
        print(f"  above the {first[0]}: {label} {total - first[1]:+,} lines, {calls - first[3]:+,} calls")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.split("\n\n")[1])
    main(sys.argv[1:])
