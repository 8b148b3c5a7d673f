// Byte forms of settings files for the tests of the INI store.
#pragma once

#include <windows.h>

#include <string>

#include "support/text.h"

// The text in each encoding the store reads. ANSI uses the code page of the process (1252 here).
inline std::string Utf16LeFile(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}
inline std::string Utf16BeFile(const std::wstring& text) {
  std::string bytes = "\xFE\xFF";
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xFF));
  }
  return bytes;
}
inline std::string Utf8File(const std::wstring& text) { return "\xEF\xBB\xBF" + Narrow(text, CP_UTF8); }
inline std::string AnsiFile(const std::wstring& text) { return Narrow(text, CP_ACP); }

// Readable form of file bytes for failure messages: UTF-16 LE files as text, others as they are.
inline std::wstring ShowBytes(const std::string& bytes) {
  std::wstring shown;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    shown = L"<FFFE>";
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      shown.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (bytes.size() % 2 != 0) shown += L"<odd byte>";
  } else {
    for (char c : bytes) shown.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return shown;
}
