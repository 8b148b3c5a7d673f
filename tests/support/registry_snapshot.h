// Registry helpers for tests: direct reads and writes (bypassing the program's settings layer)
// and whole-tree snapshots for before/after comparisons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every key and value below root\subkey, one sorted line each: "key\path" for a key and
// "key\path : name = TYPE:data" for a value (binary data in hex). An absent key gives no lines.
// view is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
std::vector<std::wstring> SnapshotRegistry(HKEY root, const std::wstring& subkey, REGSAM view = 0);

// The lines of `after` that are not in `before` (sorted inputs, as SnapshotRegistry gives them).
std::vector<std::wstring> LinesAdded(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after);
std::wstring JoinLines(const std::vector<std::wstring>& lines);

bool RegKeyExists(HKEY root, const std::wstring& subkey, REGSAM view = 0);
bool RegValueExists(HKEY root, const std::wstring& subkey, const std::wstring& name, REGSAM view = 0);
// Missing key or value, or another type: the fallback.
std::wstring RegString(HKEY root, const std::wstring& subkey, const std::wstring& name,
                       const std::wstring& fallback = L"<missing>", REGSAM view = 0);
DWORD RegDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD fallback = 0xDEADBEEF,
               REGSAM view = 0);
bool SetRegString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data,
                  REGSAM view = 0);
bool SetRegDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD data, REGSAM view = 0);
bool CreateRegKey(HKEY root, const std::wstring& subkey, REGSAM view = 0);
void DeleteRegTree(HKEY root, const std::wstring& subkey, REGSAM view = 0);
