// Text conversions the tests share.
#pragma once

#include <windows.h>

#include <string>

// For failure messages: ASCII as it is, every other character as '?'.
inline std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
  return narrow;
}

// The text in a code page (CP_ACP, CP_UTF8, ...), for the bytes of a file a test writes.
inline std::string Narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

// A window's text; "<no window>" for none.
inline std::wstring WindowText(HWND window) {
  wchar_t text[2048] = L"<no window>";
  if (window != nullptr) GetWindowTextW(window, text, 2048);
  return text;
}

// String `id` of this module's string table (test programs carry the program's resources).
inline std::wstring ProgramString(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? std::wstring(text, length) : std::wstring();
}

// Today's local date as Windows writes it with the picture "yyyyMMdd".
inline std::wstring TodayAsYyyyMmDd() {
  wchar_t date[16] = {};
  GetDateFormatW(LOCALE_INVARIANT, 0, nullptr, L"yyyyMMdd", date, 16);
  return date;
}
