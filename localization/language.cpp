#include "localization/language.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/disk_file.h"
#include "base/error_reporter.h"
#include "base/paths.h"
#include "base/text_file.h"
#include "localization/localized_strings.h"

// Before the entry point runs, the program's module is the executable (a null name asks for it);
// start-up replaces both with the instance handle it is given.
HMODULE ResourceModule = GetModuleHandleW(nullptr);
HMODULE g_programModule = GetModuleHandleW(nullptr);
bool RightToLeft = false;

LanguageTable g_languageTable;
LanguageLibrary g_languageLibrary;

namespace {

constexpr char kMarker[] = "***messages**";
constexpr size_t kMarkerLength = 13;
constexpr size_t kMarkerBlockBytes = 8192;
constexpr size_t kWideMarkerBytes = kMarkerLength * 2;

constexpr wchar_t kLanguageLibraryName[] = L"voklng.dll";
constexpr wchar_t kLanguageFolderKey[] = L"Software\\Ovenix\\General";
constexpr wchar_t kLanguageFolderValue[] = L"LanguageFolder";

// ---- Marker search ----

bool AnsiMarkerAt(const uint8_t* bytes) {
  return std::memcmp(bytes, kMarker, kMarkerLength) == 0;
}

bool WideMarkerAt(const uint8_t* bytes) {
  for (size_t i = 0; i < kMarkerLength; ++i) {
    if (bytes[2 * i] != static_cast<uint8_t>(kMarker[i]) || bytes[2 * i + 1] != 0) return false;
  }
  return true;
}

enum class TextForm { None, Ansi, Wide };

struct MarkerPosition {
  TextForm form = TextForm::None;
  uint64_t offset = 0;
};

// Tests every byte position up to kLanguageMarkerLastOffset, in file order, for the ANSI form and
// then the UTF-16 form. The file is read in 8 KiB blocks; the last bytes of a block stay in the
// window so that a marker that straddles two blocks is still seen.
MarkerPosition FindMarker(DiskFile& file) {
  uint8_t window[kMarkerBlockBytes + kWideMarkerBytes];
  size_t held = 0;          // bytes in window
  uint64_t windowStart = 0;  // file offset of window[0]
  bool atEnd = false;
  for (;;) {
    const int32_t got = file.Read(window + held, static_cast<uint32_t>(kMarkerBlockBytes));
    if (got <= 0) {
      atEnd = true;
    } else {
      held += static_cast<size_t>(got);
    }
    // A position is decided once both forms could be compared there, or at the end of the file.
    const size_t decided = atEnd ? held : (held > kWideMarkerBytes - 1 ? held - (kWideMarkerBytes - 1) : 0);
    for (size_t i = 0; i < decided; ++i) {
      const uint64_t offset = windowStart + i;
      if (offset > kLanguageMarkerLastOffset) return {};
      if (i + kMarkerLength <= held && AnsiMarkerAt(window + i)) return {TextForm::Ansi, offset};
      if (i + kWideMarkerBytes <= held && WideMarkerAt(window + i)) return {TextForm::Wide, offset};
    }
    if (atEnd) return {};
    std::memmove(window, window + decided, held - decided);
    held -= decided;
    windowStart += decided;
  }
}

// A heap block freed when the scope ends.
struct HeapBlock {
  explicit HeapBlock(size_t bytes) : data(std::malloc(bytes)) {}
  ~HeapBlock() { std::free(data); }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  void* data;
};

// ---- Parsing ----

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Section words, in the order they are tried.
enum class Section { Strings, Dialog, Menu, Direction };
struct SectionWord {
  const wchar_t* word;
  Section section;
};
constexpr SectionWord kSectionWords[] = {
    {L"STRINGS", Section::Strings},
    {L"DIALOG", Section::Dialog},
    {L"MENU", Section::Menu},
    {L"DIRECTION", Section::Direction},
};

// Appends source to a narrow destination of kLanguagePrefixMaxBytes bytes plus the terminator.
void AppendNarrow(char* destination, const char* source, size_t maxBytes) {
  size_t length = std::strlen(destination);
  while (length < maxBytes && *source) destination[length++] = *source++;
  destination[length] = '\0';
}

// Converts text[0..count) (count <= 99) to a terminated ANSI string in destination (capacity bytes).
void NarrowRun(const wchar_t* text, size_t count, char* destination, size_t capacity) {
  wchar_t run[kLanguagePrefixMaxBytes + 1];
  std::wmemcpy(run, text, count);
  run[count] = L'\0';
  if (!WideToAnsi(run, destination, capacity)) destination[0] = '\0';
}

// Compares two keys byte-wise, as unsigned bytes.
int CompareKeys(const char* first, const char* second) { return std::strcmp(first, second); }

// SortElements takes no context: the entries being indexed are published here for the sort's
// duration (single thread).
const LanguageEntry* g_sortEntries = nullptr;

int CompareEntryPositions(const void* a, const void* b) {
  const uint64_t first = *static_cast<const uint64_t*>(a);
  const uint64_t second = *static_cast<const uint64_t*>(b);
  const int byKey = CompareKeys(g_sortEntries[first].key, g_sortEntries[second].key);
  if (byKey != 0) return byKey;
  // Equal keys stay in file order, so the search can take the last of them.
  return first < second ? -1 : (first > second ? 1 : 0);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// LanguageTable

LanguageTable::LanguageTable() noexcept = default;

LanguageTable::~LanguageTable() { Clear(); }

void LanguageTable::Clear() noexcept {
  for (uint64_t i = 0; i < entries_.Count(); ++i) {
    std::free(entries_[i].key);
    std::free(entries_[i].text);
  }
  entries_.Release();
  keyIndex_.Release();
  keyIdIndex_.Release();
  rightToLeft_ = false;
}

void LanguageTable::AppendEntry(const char* key, const wchar_t* text, size_t textLength) {
  const size_t keyBytes = std::strlen(key) + 1;
  char* keyCopy = static_cast<char*>(std::malloc(keyBytes));
  wchar_t* textCopy = static_cast<wchar_t*>(std::malloc((textLength + 1) * sizeof(wchar_t)));
  if (!keyCopy || !textCopy) {
    std::free(keyCopy);
    std::free(textCopy);
    g_errorReporter.FailOutOfMemory();
  }
  std::memcpy(keyCopy, key, keyBytes);
  std::wmemcpy(textCopy, text, textLength);
  textCopy[textLength] = L'\0';
  const LanguageEntry entry{keyCopy, textCopy, textLength};
  try {
    entries_.Append(entry);
  } catch (...) {
    std::free(keyCopy);
    std::free(textCopy);
    throw;
  }
}

void LanguageTable::PrepareKeyIdIndex() {
  keyIdIndex_.Release();
  keyIdIndex_.Resize(LanguageKeyCount);
  BuildKeyIdIndex(keyIdIndex_.Data());
}

void LanguageTable::BuildKeyIndex() {
  keyIndex_.Release();
  const uint64_t count = entries_.Count();
  if (count == 0) return;
  keyIndex_.Resize(count);
  for (uint64_t i = 0; i < count; ++i) keyIndex_[i] = i;
  g_sortEntries = entries_.Data();
  SortElements(keyIndex_.Data(), static_cast<size_t>(count), sizeof(uint64_t), CompareEntryPositions);
  g_sortEntries = nullptr;
}

// One line of text[start..end) (end is at a CR, LF or the end of the text). prefix holds the
// current prefix (kLanguagePrefixMaxBytes + 1 bytes), value the value buffer.
void LanguageTable::ParseLine(const wchar_t* text, size_t start, size_t end, char* prefix, wchar_t* value) {
  if (start >= end) return;
  const wchar_t first = text[start];

  if (first == L':') {
    for (const SectionWord& candidate : kSectionWords) {
      const size_t wordLength = std::wcslen(candidate.word);
      if (end - (start + 1) < wordLength) continue;
      if (std::wmemcmp(text + start + 1, candidate.word, wordLength) != 0) continue;
      size_t position = start + 1 + wordLength;
      // The word must be followed by a control character or a blank; the line end (or the end of
      // the text) counts as one.
      if (position < end && static_cast<unsigned>(text[position]) > 32) continue;
      if (candidate.section == Section::Strings) {
        std::strcpy(prefix, "s:");
        return;
      }
      while (position < end && IsBlank(text[position])) ++position;
      size_t argumentEnd = position;
      while (argumentEnd < end && static_cast<unsigned>(text[argumentEnd]) > 32 &&
             argumentEnd - position < kLanguagePrefixMaxBytes) {
        ++argumentEnd;
      }
      // The argument is compared and used in the ANSI code page, as the keys are.
      char argument[4 * kLanguagePrefixMaxBytes + 1];
      NarrowRun(text + position, argumentEnd - position, argument, sizeof(argument));
      if (candidate.section == Section::Direction) {
        rightToLeft_ = std::strcmp(argument, "RTL") == 0;
        return;
      }
      prefix[0] = candidate.section == Section::Dialog ? '$' : '@';
      prefix[1] = '\0';
      AppendNarrow(prefix, argument, kLanguagePrefixMaxBytes);
      AppendNarrow(prefix, ":", kLanguagePrefixMaxBytes);
      return;
    }
    return;  // a colon with another word: a comment
  }

  if (!IsAsciiLetter(first)) return;  // indented lines, digits, punctuation: comments

  // The entry name ends at the first space, tab or comma among the line's first 99 characters.
  // A name alone on its line has no delimiter and the line is ignored.
  size_t delimiter = start;
  const size_t searchEnd = end - start > kLanguagePrefixMaxBytes ? start + kLanguagePrefixMaxBytes : end;
  while (delimiter < searchEnd && !IsBlank(text[delimiter]) && text[delimiter] != L',') ++delimiter;
  if (delimiter == searchEnd) return;

  char name[4 * kLanguagePrefixMaxBytes + 1];
  NarrowRun(text + start, delimiter - start, name, sizeof(name));
  char key[kLanguagePrefixMaxBytes + 1];
  std::strcpy(key, prefix);
  AppendNarrow(key, name, kLanguagePrefixMaxBytes);
  key[kLanguageKeyMaxBytes] = '\0';  // the key buffer is 100 bytes, always long enough to cut
  if (key[0] == '\0') return;

  size_t position = delimiter + 1;
  while (position < end && IsBlank(text[position])) ++position;
  size_t length = 0;
  while (position < end) {
    wchar_t c = text[position++];
    if (c == L'\\' && position < end) {
      switch (text[position]) {
        case L'"': c = L'"'; ++position; break;
        case L'\\': c = L'\\'; ++position; break;
        case L'n': c = L'\n'; ++position; break;
        case L'r': c = L'\r'; ++position; break;
        case L't': c = L'\t'; ++position; break;
        default: break;  // the backslash stays; the next character is read as usual
      }
    }
    if (length < kLanguageValueMaxChars) value[length++] = c;
  }

  while (length > 0 && IsBlank(value[length - 1])) --length;
  if (length > 0 && value[length - 1] == L'"') --length;
  const wchar_t* stored = value;
  if (length > 0 && value[0] == L'"') {
    ++stored;
    --length;
  }
  AppendEntry(key, stored, length);
}

bool LanguageTable::ParseText(const wchar_t* text, size_t count) {
  for (uint64_t i = 0; i < entries_.Count(); ++i) {
    std::free(entries_[i].key);
    std::free(entries_[i].text);
  }
  entries_.Release();
  keyIndex_.Release();
  rightToLeft_ = false;

  HeapBlock valueBlock((kLanguageValueMaxChars + 1) * sizeof(wchar_t));
  if (!valueBlock.data) return false;
  wchar_t* value = static_cast<wchar_t*>(valueBlock.data);

  // The text ends at the first NUL, and never later than the character limit.
  if (count > kLanguageTextMaxChars) count = kLanguageTextMaxChars;
  size_t length = 0;
  while (length < count && text[length] != L'\0') ++length;

  char prefix[kLanguagePrefixMaxBytes + 1] = "s:";
  // The marker's line is never a line start: its rest is skipped.
  size_t position = 0;
  while (position < length && !IsLineEnd(text[position])) ++position;
  while (position < length) {
    const size_t start = position + 1;  // every CR and every LF ends a line
    size_t end = start;
    while (end < length && !IsLineEnd(text[end])) ++end;
    ParseLine(text, start, end, prefix, value);
    position = end;
  }
  BuildKeyIndex();
  return true;
}

bool LanguageTable::LoadFromFile(const wchar_t* fullPath) {
  Clear();
  DiskFile file;
  if (!file.Open(fullPath, kOpenShareWrite)) return false;
  PrepareKeyIdIndex();

  const MarkerPosition marker = FindMarker(file);
  if (marker.form == TextForm::None) return false;

  HeapBlock bytesBlock(kLanguageTextMaxBytes + 2);
  if (!bytesBlock.data) return false;
  uint8_t* bytes = static_cast<uint8_t*>(bytesBlock.data);
  file.Seek(static_cast<int64_t>(marker.offset), FILE_BEGIN);
  int32_t got = file.Read(bytes, static_cast<uint32_t>(kLanguageTextMaxBytes));
  if (got < 0) got = 0;
  const size_t byteCount = static_cast<size_t>(got);
  file.Close();

  if (marker.form == TextForm::Wide) {
    const size_t count = byteCount / 2;  // an odd last byte is dropped
    wchar_t* text = reinterpret_cast<wchar_t*>(bytes);
    text[count] = L'\0';
    return ParseText(text, count);
  }

  bytes[byteCount] = 0;
  HeapBlock wideBlock(2 * byteCount + 2);
  if (!wideBlock.data) return false;
  wchar_t* text = static_cast<wchar_t*>(wideBlock.data);
  if (!AnsiToWide(reinterpret_cast<const char*>(bytes), text, byteCount + 1)) text[0] = L'\0';
  std::free(bytesBlock.data);  // the converted text is all the parser needs
  bytesBlock.data = nullptr;
  return ParseText(text, byteCount);
}

bool LanguageTable::FindText(const char* key, wchar_t* buffer, size_t capacity) const {
  const uint64_t count = keyIndex_.Count();
  if (count == 0 || !key) return false;
  // The first position whose key sorts after the wanted one; equal keys lie just before it, the
  // last of them in file order last.
  uint64_t low = 0;
  uint64_t high = count;
  while (low < high) {
    const uint64_t middle = low + (high - low) / 2;
    if (CompareKeys(entries_[keyIndex_[middle]].key, key) <= 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == 0) return false;
  const LanguageEntry& entry = entries_[keyIndex_[low - 1]];
  if (CompareKeys(entry.key, key) != 0) return false;
  CopyBounded(buffer, entry.text, capacity);
  return true;
}

bool FindText(const char* key, wchar_t* buffer, size_t capacity) {
  return g_languageTable.FindText(key, buffer, capacity);
}

// ---------------------------------------------------------------------------------------------
// Language library and folder

LanguageLibrary::~LanguageLibrary() { UnloadLanguageLibrary(); }

void UnloadLanguageLibrary() {
  if (!g_languageLibrary.loaded_) return;
  g_languageLibrary.library_.reset();
  g_languageLibrary.loaded_ = false;
  ResourceModule = g_programModule;
}

void LoadLanguageLibrary(HMODULE programModule) {
  UnloadLanguageLibrary();
  g_programModule = programModule;
  ResourceModule = programModule;

  wchar_t path[kPathCapacity];
  // Without the program's own path there is no folder to look in; a bare "voklng.dll" would be
  // looked for along the library search path, which is never what is meant.
  if (!ModulePath(programModule, path, kPathCapacity)) return;
  ReplaceFileName(path, kLanguageLibraryName, kPathCapacity);
  ApplyLanguageFolder(path, path, kPathCapacity);

  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  bool asData = false;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // GetVersionExW: the library only needs to know "XP SP2 or later"
#endif
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    asData = version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
             (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.wServicePackMajor >= 2));
  }
  // Mapped as data the library runs no code, which is all a resource-only module needs.
  HMODULE library = asData ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : LoadLibraryW(path);
  if (!library) return;
  g_languageLibrary.library_.reset(library);
  g_languageLibrary.loaded_ = true;
  ResourceModule = library;
}

void ApplyLanguageFolder(const wchar_t* path, wchar_t* result, size_t capacity) {
  if (result != path) CopyBounded(result, path, capacity);

  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kLanguageFolderKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return;
  }
  const size_t pathLength = std::wcslen(path);
  if (pathLength >= kPathCapacity - 1) return;
  // The folder and the path's name must fit together in one path buffer.
  wchar_t folder[kPathCapacity];
  DWORD bytes = static_cast<DWORD>(2 * (kPathCapacity - 1 - pathLength));
  if (RegQueryValueExW(key.get(), kLanguageFolderValue, nullptr, nullptr, reinterpret_cast<BYTE*>(folder),
                       &bytes) != ERROR_SUCCESS) {
    return;
  }
  folder[bytes / sizeof(wchar_t)] = L'\0';  // registry text need not be terminated

  wchar_t candidate[kPathCapacity];
  const DWORD expanded = ExpandEnvironmentStringsW(folder, candidate, kPathCapacity);
  if (expanded == 0 || expanded > kPathCapacity) return;
  // An empty folder would leave a bare name, looked for in the current folder.
  if (candidate[0] == L'\0') return;
  AppendSeparator(candidate, kPathCapacity);
  AppendBounded(candidate, FileNamePart(path), kPathCapacity);
  if (PathExists(candidate)) CopyBounded(result, candidate, capacity);
}

void LoadLanguageFile(const wchar_t* fileName) {
  wchar_t path[kPathCapacity];
  ApplyLanguageFolder(fileName, path, kPathCapacity);
  bool havePath = true;
  if (!std::wcschr(path, L'\\')) {
    // A bare name is looked for in the program's folder (never in the current folder: without the
    // program's own path there is no file to load).
    wchar_t full[kPathCapacity];
    havePath = ModulePath(g_programModule, full, kPathCapacity);
    if (havePath) {
      *FileNamePart(full) = L'\0';
      AppendBounded(full, path, kPathCapacity);
      CopyBounded(path, full, kPathCapacity);
    }
  }

  if (havePath) {
    g_languageTable.LoadFromFile(path);
  } else {
    g_languageTable.Clear();
  }
  RightToLeft = g_languageTable.IsRightToLeft();
  if (FindResourceW(ResourceModule, L"RTL", RT_DIALOG)) RightToLeft = true;
  if (RightToLeft) SetProcessDefaultLayout(LAYOUT_RTL);
}
