#include "base/bounded_text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace {

template <typename Char>
void CopyBoundedImpl(Char* destination, const Char* source, size_t capacity) {
  if (capacity == 0) return;
  size_t i = 0;
  if (source) {
    for (; i + 1 < capacity && source[i] != 0; ++i) destination[i] = source[i];
  }
  destination[i] = 0;
}

}  // namespace

void CopyBounded(wchar_t* destination, const wchar_t* source, size_t capacity) {
  CopyBoundedImpl(destination, source, capacity);
}

void CopyBounded(char* destination, const char* source, size_t capacity) {
  CopyBoundedImpl(destination, source, capacity);
}

void AppendBounded(wchar_t* destination, const wchar_t* source, size_t capacity) {
  if (capacity == 0) return;
  const size_t length = wcsnlen(destination, capacity);
  if (length + 1 >= capacity) return;
  CopyBounded(destination + length, source, capacity - length);
}

bool NamesEqual(const wchar_t* first, const wchar_t* second) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, first, -1, second, -1) ==
         CSTR_EQUAL;
}

void FormatWithArgument(wchar_t* destination, size_t capacity, const wchar_t* pattern, const wchar_t* argument) {
  if (capacity == 0) return;
  destination[0] = 0;
  size_t length = 0;
  bool argumentUsed = false;
  auto put = [&](wchar_t c) {
    if (length + 1 < capacity) destination[length++] = c;
  };
  for (const wchar_t* p = pattern ? pattern : L""; *p; ++p) {
    if (p[0] == L'%' && p[1] == L'%') {
      put(L'%');
      ++p;
    } else if (p[0] == L'%' && p[1] == L's' && !argumentUsed) {
      for (const wchar_t* a = argument ? argument : L""; *a; ++a) put(*a);
      argumentUsed = true;
      ++p;
    } else {
      put(*p);
    }
  }
  destination[length] = 0;
}

void FormatBounded(wchar_t* destination, size_t capacity, const wchar_t* format, ...) {
  if (capacity == 0) return;
  va_list arguments;
  va_start(arguments, format);
  // A cut result is left without a terminator, and the last character is then replaced by one.
  _vsnwprintf(destination, capacity, format, arguments);
  va_end(arguments);
  destination[capacity - 1] = L'\0';
}
