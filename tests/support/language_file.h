// Shared set-up of the tests that use translations: a language file loaded into the
// process-wide table for one test, and the process-wide module handles and direction flag put
// back afterwards.
#pragma once

#include <windows.h>

#include <string>

#include "localization/language.h"
#include "support/temp_folder.h"

// UTF-16 little-endian bytes with a byte-order mark.
inline std::string Utf16FileBytes(const std::wstring& text) {
  std::string bytes("\xFF\xFE", 2);
  for (const wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

// A file's bytes taken as UTF-16 little-endian (an odd last byte is dropped).
inline std::wstring ReadFileBytesAsWide(const std::wstring& path) {
  const std::string bytes = ReadFileBytes(path);
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

// Writes "***messages***", CR LF and `body` as a UTF-16 language file into a temp folder and
// loads it into g_languageTable; the table is emptied again when the object goes.
class ScopedLanguageFile {
 public:
  explicit ScopedLanguageFile(const std::wstring& body) : folder_(L"vokstrings") {
    const std::wstring path = folder_.Join(L"uninstall.lng");
    loaded_ = WriteFileBytes(path, Utf16FileBytes(L"***messages***\r\n" + body)) && g_languageTable.LoadFromFile(path.c_str());
  }
  ~ScopedLanguageFile() { g_languageTable.Clear(); }
  ScopedLanguageFile(const ScopedLanguageFile&) = delete;
  ScopedLanguageFile& operator=(const ScopedLanguageFile&) = delete;

  bool loaded() const { return loaded_; }

 private:
  TempFolder folder_;
  bool loaded_ = false;
};

// Points ResourceModule at another module for one test.
class ScopedResourceModule {
 public:
  explicit ScopedResourceModule(HMODULE module) : saved_(ResourceModule) { ResourceModule = module; }
  ~ScopedResourceModule() { ResourceModule = saved_; }
  ScopedResourceModule(const ScopedResourceModule&) = delete;
  ScopedResourceModule& operator=(const ScopedResourceModule&) = delete;

 private:
  HMODULE saved_;
};

// Sets RightToLeft for one test.
class ScopedRightToLeft {
 public:
  explicit ScopedRightToLeft(bool value) : saved_(RightToLeft) { RightToLeft = value; }
  ~ScopedRightToLeft() { RightToLeft = saved_; }
  ScopedRightToLeft(const ScopedRightToLeft&) = delete;
  ScopedRightToLeft& operator=(const ScopedRightToLeft&) = delete;

 private:
  bool saved_;
};
