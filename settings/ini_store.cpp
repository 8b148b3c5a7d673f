#include "settings/ini_store.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/disk_file.h"
#include "base/error_reporter.h"
#include "base/growable_array.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/text_file.h"

IniStore g_iniStore;

namespace {

const wchar_t kIniFileName[] = L"Ovenix.ini";
// The new content is written here first and then moved over the settings file.
const wchar_t kNewFileSuffix[] = L".new";
// DiskFile::Write takes a 32-bit count; large files go out in pieces of this size.
constexpr size_t kWriteChunkBytes = 1u << 20;

// The Global entries in the order they are read and written back.
struct GlobalFlag {
  const wchar_t* name;
  bool IniStore::*flag;
};
const GlobalFlag kGlobalFlags[] = {
    {L"Global\\AppData", &IniStore::AppData},
    {L"Global\\Integration", &IniStore::Integration},
    {L"Global\\SaveSettings", &IniStore::SaveSettings},
};

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

bool HasLineBreak(const wchar_t* text) { return wcspbrk(text, L"\r\n") != nullptr; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWith(const IniText& text, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  return text.size() >= length && wmemcmp(text.c_str(), prefix, length) == 0;
}

// An entry with its place in the list: entries of the same name keep their order when sorted, so
// the one that reads win stays first in the file through every write-back.
struct PlacedEntry {
  const IniEntry* entry;
  uint64_t place;
};

int CompareEntryNames(const void* a, const void* b) {
  const PlacedEntry& first = *static_cast<const PlacedEntry*>(a);
  const PlacedEntry& second = *static_cast<const PlacedEntry*>(b);
  // wchar_t is an unsigned 16-bit code unit on Windows: this is the ordinal order.
  const int byName = first.entry->name.compare(second.entry->name);
  if (byName != 0) return byName;
  return first.place < second.place ? -1 : first.place > second.place ? 1 : 0;
}

void AppendText(GrowableArray<wchar_t>& content, const wchar_t* text, size_t length) {
  const uint64_t start = content.Count();
  content.GrowBy(length);
  if (length != 0) wmemcpy(content.Data() + start, text, length);
}
void AppendText(GrowableArray<wchar_t>& content, const IniText& text) {
  AppendText(content, text.c_str(), text.size());
}
void AppendText(GrowableArray<wchar_t>& content, const wchar_t* text) { AppendText(content, text, wcslen(text)); }

// The file's whole new content: the UTF-16 mark, then every entry sorted by name.
void FormatContent(const IniEntry* head, GrowableArray<wchar_t>& content) {
  GrowableArray<PlacedEntry> sorted;
  for (const IniEntry* entry = head; entry; entry = entry->next) sorted.Append({entry, sorted.Count()});
  SortElements(sorted.Data(), static_cast<size_t>(sorted.Count()), sizeof(PlacedEntry), CompareEntryNames);
  content.Append(0xFEFF);  // FF FE once written little-endian
  for (uint64_t i = 0; i < sorted.Count(); ++i) {
    const IniEntry& entry = *sorted[i].entry;
    AppendText(content, entry.name);
    AppendText(content, L"=");
    if (entry.kind == IniValueKind::Quoted) AppendText(content, L"\"");
    if (entry.kind == IniValueKind::Bin) AppendText(content, L"bin:");
    AppendText(content, entry.value);
    if (entry.kind == IniValueKind::Quoted) AppendText(content, L"\"");
    AppendText(content, L"\r\n");
  }
}

bool WriteAll(DiskFile& file, const void* bytes, size_t size) {
  const BYTE* next = static_cast<const BYTE*>(bytes);
  while (size != 0) {
    const size_t piece = size < kWriteChunkBytes ? size : kWriteChunkBytes;
    if (!file.Write(next, static_cast<uint32_t>(piece))) return false;
    next += piece;
    size -= piece;
  }
  return true;
}

}  // namespace

void IniText::assign(const wchar_t* text, size_t length) {
  if (length >= capacity_) {
    wchar_t* block = new wchar_t[length + 1];
    delete[] text_;
    text_ = block;
    capacity_ = length + 1;
  }
  if (length != 0) wmemcpy(text_, text, length);
  text_[length] = L'\0';
  size_ = length;
}

void IniEntryName(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* name, size_t capacity) {
  if (capacity == 0) return;
  name[0] = L'\0';
  if (root == HKEY_CURRENT_USER) AppendBounded(name, L"HKCU\\", capacity);
  if (root == HKEY_LOCAL_MACHINE) AppendBounded(name, L"HKLM\\", capacity);
  AppendBounded(name, OrEmpty(subkey), capacity);
  const size_t length = wcslen(name);
  if (length != 0 && name[length - 1] != L'\\') AppendBounded(name, L"\\", capacity);
  AppendBounded(name, OrEmpty(valueName), capacity);
}

int64_t IniDecimalValue(const wchar_t* text) {
  text = OrEmpty(text);
  const bool negative = *text == L'-';
  if (negative) ++text;
  // Unsigned arithmetic: an overlong digit run wraps instead of overflowing a signed number.
  uint64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) value = value * 10 + static_cast<uint64_t>(*text - L'0');
  if (negative) value = 0 - value;
  return static_cast<int64_t>(value);
}

IniStore::~IniStore() {
  // Runs at process exit: nothing may escape. Save catches its own failures; this is the last guard.
  try {
    Save();
  } catch (...) {
  }
  Release();
}

void IniStore::Locate(wchar_t* path) {
  path[0] = L'\0';
  // The module holding this code, so that a copy of the program finds the file beside itself.
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&g_iniStore), &module)) {
    // A cut module path names another file: fall back to the bare name, as when there is none.
    ModulePath(module, path, kPathCapacity);
  }
  ReplaceFileName(path, kIniFileName, kPathCapacity);

  if (!PathExists(path)) {
    wchar_t folder[kPathCapacity];
    if (UserAppDataFolder(folder, kPathCapacity)) JoinPath(folder, kIniFileName, path, kPathCapacity);
  }
  if (!PathExists(path)) path[0] = L'\0';
}

void IniStore::EnsureLoaded() {
  if (loaded_ || loadTried_) return;
  loadTried_ = true;
  Locate(filePath_);
  if (filePath_[0] == L'\0') return;
  ParseLines(filePath_);
}

void IniStore::FileInUse(wchar_t* path) {
  if (loaded_) {
    CopyBounded(path, filePath_, kPathCapacity);
  } else if (loadTried_ || discarded_) {
    path[0] = L'\0';
  } else {
    Locate(path);
  }
}

bool IniStore::LoadFile(const wchar_t* path) {
  if (loaded_) return false;
  loadTried_ = true;
  discarded_ = false;
  filePath_[0] = L'\0';
  path = OrEmpty(path);
  if (wcslen(path) >= kPathCapacity) return false;
  CopyBounded(filePath_, path, kPathCapacity);
  if (filePath_[0] == L'\0' || !PathExists(filePath_)) return false;
  ParseLines(filePath_);
  return loaded_;
}

bool IniStore::SearchAgain() {
  if (loaded_ || discarded_) return loaded_;
  loadTried_ = false;
  EnsureLoaded();
  if (loaded_) LogLine("settings: from now on in the settings file %s", filePath_);
  return loaded_;
}

void IniStore::ParseLines(const wchar_t* path) {
  try {
    PackedStringList lines;
    if (!ReadTextFileLines(path, lines)) return;
    wchar_t* line = nullptr;
    while (lines.NextString(line)) {
      if (!IsAsciiLetter(line[0])) continue;
      wchar_t* equals = wcschr(line, L'=');
      if (!equals) continue;
      IniEntry* entry = new IniEntry;
      Append(entry);  // owned by the list from here on, also if a copy below fails
      entry->name.assign(line, static_cast<size_t>(equals - line));
      const wchar_t* text = equals + 1;
      if (text[0] == L'"') {
        ++text;
        size_t length = wcslen(text);
        if (length != 0 && text[length - 1] == L'"') --length;
        entry->value.assign(text, length);
        entry->kind = IniValueKind::Quoted;
      } else if (wcsncmp(text, L"bin:", 4) == 0) {
        entry->value.assign(text + 4);
        entry->kind = IniValueKind::Bin;
      } else {
        entry->value.assign(text);
        entry->kind = IniValueKind::Plain;
      }
    }
    loaded_ = true;
    ReadGlobalFlags();
  } catch (...) {
    // Out of memory with only part of the file parsed: the store stays out of use and is never
    // written back in this process, so the file on disk keeps every setting.
    g_errorReporter.ReportMemoryError();
    FreeEntries();
    loaded_ = false;
    discarded_ = true;
    AppData = Integration = SaveSettings = true;
  }
}

void IniStore::ReadGlobalFlags() {
  for (const GlobalFlag& global : kGlobalFlags) {
    const wchar_t* text = Lookup(global.name);
    // Low 32 bits, as the registry layer passes numbers on.
    const DWORD number = text ? static_cast<DWORD>(IniDecimalValue(text)) : 1;
    this->*global.flag = number != 0;
  }
  for (const GlobalFlag& global : kGlobalFlags) Set(global.name, this->*global.flag ? L"1" : L"0", IniValueKind::Plain);
}

bool IniStore::Handles(HKEY root, const wchar_t* subkey) {
  EnsureLoaded();
  if (!loaded_) return false;
  if (root != nullptr && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return false;
  return OrEmpty(subkey)[0] != L'\\';
}

const wchar_t* IniStore::Lookup(const wchar_t* name) const {
  name = OrEmpty(name);
  for (const IniEntry* entry = head_; entry; entry = entry->next)
    if (entry->name.compare(name) == 0) return entry->value.c_str();
  return nullptr;
}

bool IniStore::Set(const wchar_t* name, const wchar_t* text, IniValueKind kind) {
  name = OrEmpty(name);
  text = OrEmpty(text);
  if (HasLineBreak(name) || HasLineBreak(text)) return false;
  for (IniEntry* entry = head_; entry; entry = entry->next) {
    if (entry->name.compare(name) == 0) {
      entry->value.assign(text);
      entry->kind = kind;
      return true;
    }
  }
  IniEntry* entry = new IniEntry;
  Append(entry);
  entry->name.assign(name);
  entry->value.assign(text);
  entry->kind = kind;
  return true;
}

size_t IniStore::Remove(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  const bool wholeKey = OrEmpty(valueName)[0] == L'\0';
  wchar_t name[kIniEntryNameCapacity];
  IniEntryName(root, subkey, valueName, name, kIniEntryNameCapacity);
  size_t removed = 0;
  IniEntry* previous = nullptr;
  IniEntry* entry = head_;
  while (entry) {
    IniEntry* next = entry->next;
    const bool matches = wholeKey ? StartsWith(entry->name, name) : entry->name.compare(name) == 0;
    if (matches) {
      (previous ? previous->next : head_) = next;
      if (tail_ == entry) tail_ = previous;
      delete entry;
      ++removed;
    } else {
      previous = entry;
    }
    entry = next;
  }
  return removed;
}

bool IniStore::KeyExists(HKEY root, const wchar_t* subkey) const {
  wchar_t prefix[kIniEntryNameCapacity];
  IniEntryName(root, subkey, nullptr, prefix, kIniEntryNameCapacity);
  for (const IniEntry* entry = head_; entry; entry = entry->next)
    if (StartsWith(entry->name, prefix)) return true;
  return false;
}

bool IniStore::WritesBack() const {
  if (!loaded_ || !SaveSettings || discarded_) return false;
  // A read-only settings file is the user's decision. Windows refuses to replace it anyway; Wine's
  // MoveFileExW would replace it, so the check is made here for both.
  const DWORD attributes = QueryAttributes(filePath_);
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool IniStore::Save() {
  if (!WritesBack()) return false;
  try {
    GrowableArray<wchar_t> content;
    FormatContent(head_, content);
    const size_t bytes = static_cast<size_t>(content.Count()) * sizeof(wchar_t);
    // UTF-16 little-endian: the in-memory form of wchar_t on every Windows target.
    const void* data = content.Data();

    wchar_t newPath[kPathCapacity];
    const bool besideFits = wcslen(filePath_) + wcslen(kNewFileSuffix) < kPathCapacity;
    if (besideFits) {
      CopyBounded(newPath, filePath_, kPathCapacity);
      AppendBounded(newPath, kNewFileSuffix, kPathCapacity);
      DiskFile file;
      if (file.Create(newPath, /*mode=*/0)) {
        // Any failure from here on leaves the old file as it was; the destructor of an unclosed
        // created file deletes it.
        if (!WriteAll(file, data, bytes)) return false;
        if (!file.Close()) {
          RemoveFile(newPath);
          return false;
        }
        if (MoveFileExW(newPath, filePath_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        RemoveFile(newPath);
        return false;
      }
    }
    // No file can be made beside it: rewrite in place, the only way left.
    DiskFile file;
    if (!file.Create(filePath_, kCreateShareRead)) return false;
    const bool written = WriteAll(file, data, bytes);
    const bool closed = file.Close();
    return written && closed;
  } catch (...) {
    // Out of memory while forming the content: nothing was replaced.
    return false;
  }
}

void IniStore::Release() {
  FreeEntries();
  loaded_ = false;
  loadTried_ = false;
  discarded_ = false;
  AppData = Integration = SaveSettings = true;
}

void IniStore::Discard() {
  FreeEntries();
  loaded_ = false;
  loadTried_ = true;
  discarded_ = true;
}

void IniStore::Append(IniEntry* entry) {
  (tail_ ? tail_->next : head_) = entry;
  tail_ = entry;
}

void IniStore::FreeEntries() noexcept {
  // Iterative: a file of a million lines must not recurse a million deep.
  IniEntry* entry = head_;
  while (entry) {
    IniEntry* next = entry->next;
    delete entry;
    entry = next;
  }
  head_ = tail_ = nullptr;
}

void EnsureIniLoaded() { g_iniStore.EnsureLoaded(); }
bool IniHandles(HKEY root, const wchar_t* subkey) { return g_iniStore.Handles(root, subkey); }
const wchar_t* IniLookup(const wchar_t* name) { return g_iniStore.Lookup(name); }
bool IniSet(const wchar_t* name, const wchar_t* text, IniValueKind kind) { return g_iniStore.Set(name, text, kind); }
size_t IniRemove(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  return g_iniStore.Remove(root, subkey, valueName);
}
bool SaveSettingsNow() { return g_iniStore.Save(); }
void DiscardIniStore() { g_iniStore.Discard(); }
bool SearchIniFileAgain() { return g_iniStore.SearchAgain(); }
