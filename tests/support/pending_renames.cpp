#include "support/pending_renames.h"

#include <windows.h>

#include <algorithm>

#include "base/handles.h"

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

bool ReadRaw(std::vector<unsigned char>* data) {
  data->clear();
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  data->resize(size);
  if (size == 0) return true;
  return RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, data->data(), &size) == ERROR_SUCCESS;
}

}  // namespace

std::vector<std::wstring> PendingRestartDeletions() {
  std::vector<unsigned char> raw;
  std::vector<std::wstring> deletions;
  if (!ReadRaw(&raw)) return deletions;
  // The strings, split by size: an empty target is itself an empty string inside the data.
  std::vector<std::wstring> strings;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(raw.data());
  const size_t count = raw.size() / sizeof(wchar_t);
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == 0) {
      strings.emplace_back(text + start, i - start);
      start = i + 1;
    }
  }
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;  // the list's final terminator
    if (!strings[i + 1].empty()) continue;
    std::wstring path = strings[i];
    if (path.rfind(L"\\??\\", 0) == 0) path = path.substr(4);
    deletions.push_back(path);
  }
  return deletions;
}

PendingRenamesGuard::PendingRenamesGuard() {
  existed_ = ReadRaw(&saved_);
  before_ = PendingRestartDeletions();
}

PendingRenamesGuard::~PendingRenamesGuard() {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  if (existed_) {
    RegSetValueExW(key.get(), kPendingValue, 0, REG_MULTI_SZ, saved_.data(), static_cast<DWORD>(saved_.size()));
  } else {
    RegDeleteValueW(key.get(), kPendingValue);
  }
}

std::vector<std::wstring> PendingRenamesGuard::Added() const {
  std::vector<std::wstring> added;
  for (const std::wstring& path : PendingRestartDeletions()) {
    if (std::find(before_.begin(), before_.end(), path) == before_.end()) added.push_back(path);
  }
  return added;
}
