#include "support/registry_snapshot.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "base/handles.h"

namespace {

std::wstring DescribeValue(DWORD type, const BYTE* data, DWORD size) {
  std::wstring text;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      text = type == REG_SZ ? L"SZ:" : L"EXPAND_SZ:";
      const wchar_t* chars = reinterpret_cast<const wchar_t*>(data);
      size_t count = size / sizeof(wchar_t);
      while (count > 0 && chars[count - 1] == 0) --count;
      text.append(chars, count);
      return text;
    }
    case REG_DWORD: {
      DWORD value = 0;
      std::memcpy(&value, data, size < 4 ? size : 4);
      return L"DWORD:" + std::to_wstring(value);
    }
    default: {
      text = L"TYPE" + std::to_wstring(type) + L":";
      wchar_t hex[4];
      for (DWORD i = 0; i < size; ++i) {
        swprintf(hex, 4, L"%02x", data[i]);
        text += hex;
      }
      return text;
    }
  }
}

// data is the value buffer, shared by the whole walk (it only grows).
void Walk(HKEY key, const std::wstring& path, std::vector<std::wstring>& lines, REGSAM view, std::vector<BYTE>& data) {
  lines.push_back(path);
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = static_cast<DWORD>(data.size());
    const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(size);
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    lines.push_back(path + L" : " + (nameLength ? name : L"@") + L" = " + DescribeValue(type, data.data(), size));
  }
  std::vector<std::wstring> children;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.push_back(name);
  }
  for (const std::wstring& child : children) {
    UniqueHkey sub;
    if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, sub.put()) == ERROR_SUCCESS)
      Walk(sub.get(), path + L"\\" + child, lines, view, data);
  }
}

}  // namespace

std::vector<std::wstring> SnapshotRegistry(HKEY root, const std::wstring& subkey, REGSAM view) {
  std::vector<std::wstring> lines;
  UniqueHkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return lines;
  std::vector<BYTE> data(1 << 16);
  Walk(key.get(), subkey, lines, view, data);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::wstring> LinesAdded(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
  std::vector<std::wstring> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  return added;
}

std::wstring JoinLines(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\n";
  return text;
}

bool RegKeyExists(HKEY root, const std::wstring& subkey, REGSAM view) {
  UniqueHkey key;
  return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

bool RegValueExists(HKEY root, const std::wstring& subkey, const std::wstring& name, REGSAM view) {
  UniqueHkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return false;
  return RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring RegString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& fallback,
                       REGSAM view) {
  UniqueHkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return fallback;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return fallback;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return fallback;
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
      ERROR_SUCCESS)
    return fallback;
  data.resize(wcsnlen(data.c_str(), data.size()));
  return data;
}

DWORD RegDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD fallback, REGSAM view) {
  UniqueHkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return fallback;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return fallback;
  return value;
}

bool CreateRegKey(HKEY root, const std::wstring& subkey, REGSAM view) {
  UniqueHkey key;
  return RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) ==
         ERROR_SUCCESS;
}

bool SetRegString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data,
                  REGSAM view) {
  UniqueHkey key;
  if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetRegDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD data, REGSAM view) {
  UniqueHkey key;
  if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

void DeleteRegTree(HKEY root, const std::wstring& subkey, REGSAM view) {
  UniqueHkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(key.get(), nullptr);
  key.reset();
  RegDeleteKeyExW(root, subkey.c_str(), view, 0);
}
