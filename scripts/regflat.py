#!/usr/bin/env python3
"""Flattens a regedit export (UTF-16 .reg) into sorted 'key' and 'key : value = data' lines."""
import sys


def flatten(path):
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    joined, pending = [], ""
    for line in text.replace("\r", "").split("\n"):
        if line.endswith("\\") and not line.startswith("["):
            pending += line[:-1].strip()
            continue
        joined.append(pending + line.strip() if pending else line)
        pending = ""
    out, key = [], None
    for line in joined:
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            out.append(key)
        elif key and "=" in line and not line.startswith(";"):
            out.append(f"{key} : {line}")
    return sorted(set(out))


if __name__ == "__main__":
    for entry in flatten(sys.argv[1]):
        print(entry)
