// Small helpers shared by the language tests: file bytes in both encodings and table look-ups
// that give readable failure messages.
#pragma once

#include <windows.h>

#include <string>

#include "localization/language.h"

constexpr char kTestMarker[] = "***messages**";

// UTF-16 little-endian bytes of text (no byte-order mark).
inline std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

// ANSI code page bytes of text; embedded NULs are kept.
inline std::string AnsiBytes(const std::wstring& text) {
  std::string bytes;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(L'\0', start);
    const std::wstring piece = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!piece.empty()) {
      const int size = WideCharToMultiByte(CP_ACP, 0, piece.data(), static_cast<int>(piece.size()), nullptr, 0,
                                           nullptr, nullptr);
      std::string part(static_cast<size_t>(size), '\0');
      WideCharToMultiByte(CP_ACP, 0, piece.data(), static_cast<int>(piece.size()), &part[0], size, nullptr,
                          nullptr);
      bytes += part;
    }
    if (end == std::wstring::npos) break;
    bytes.push_back('\0');
    start = end + 1;
  }
  return bytes;
}

// "<missing>" when the table has no entry for key, else its text.
inline std::wstring TextOf(const LanguageTable& table, const char* key) {
  static wchar_t buffer[kLanguageValueMaxChars + 2];  // one more than a text may hold
  buffer[0] = L'#';
  buffer[1] = L'\0';
  if (!table.FindText(key, buffer, kLanguageValueMaxChars + 2)) return L"<missing>";
  return buffer;
}
