#include "base/run_log.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "base/handles.h"
#include "base/paths.h"

namespace {

// A line of a few values and paths; what does not fit is cut.
constexpr size_t kLineCapacity = 4096;
// UTF-8 takes at most three bytes for a UTF-16 code unit.
constexpr size_t kLineBytes = 3 * kLineCapacity;

UniqueFileHandle g_log;
// Static: lines this size would crowd the stack of the program's only thread.
wchar_t g_line[kLineCapacity];
char g_bytes[kLineBytes];

// Values come from places any user can write (a type name in HKCU\Software\Classes, a file
// name): a line break in one would start a line of that user's making in the log of an elevated
// run. Every C0 control character and DEL is therefore written as its control picture (U+2400 plus
// its code, U+2421 for DEL), which is still readable and can neither end nor begin a line.
wchar_t Visible(wchar_t c) {
  constexpr wchar_t kControlPictures = 0x2400;
  constexpr wchar_t kDelete = 0x7F;
  constexpr wchar_t kDeletePicture = 0x2421;
  if (c < 0x20) return static_cast<wchar_t>(kControlPictures + c);
  return c == kDelete ? kDeletePicture : c;
}

struct LineWriter {
  size_t length = 0;
  void Put(wchar_t c) {
    if (length + 1 < kLineCapacity) g_line[length++] = c;
  }
  void PutAscii(const char* text) {
    while (*text) Put(static_cast<wchar_t>(*text++));
  }
  void PutNumber(unsigned long value) {
    wchar_t digits[12];
    size_t count = 0;
    do {
      digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) Put(digits[--count]);
  }
  void PutValue(const wchar_t* text) {
    if (!text) {
      PutAscii("(none)");
      return;
    }
    const size_t total = wcslen(text);
    const size_t shown = total > kLoggedValueCharacters ? kLoggedValueCharacters : total;
    for (size_t i = 0; i < shown; ++i) Put(Visible(text[i]));
    if (shown == total) return;
    PutAscii("[... cut, ");
    PutNumber(static_cast<unsigned long>(total));
    PutAscii(" characters in all]");
  }
};

bool WriteBytes(const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(g_log.get(), bytes, count, &written, /*overlapped=*/nullptr) && written == count;
}

}  // namespace

bool OpenRunLog(const wchar_t* path) noexcept {
  if (!path || !*path) return false;
  wchar_t full[kPathCapacity];
  const DWORD length = GetFullPathNameW(path, kPathCapacity, full, /*filePart=*/nullptr);
  if (length == 0 || length >= kPathCapacity) return false;
  // Append-only, so that every line lands at the end whoever else appends meanwhile; shared, so
  // that a person (or the next run) can read it while this one writes.
  g_log.reset(CreateFileW(full, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr));
  if (!g_log) return false;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(g_log.get(), &size) && size.QuadPart == 0) {
    static const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
    WriteBytes(kByteOrderMark, sizeof kByteOrderMark);
  }
  return true;
}

unsigned ErrorUnless(bool succeeded) noexcept { return succeeded ? 0u : static_cast<unsigned>(GetLastError()); }

bool RunLogOpen() noexcept { return g_log.valid(); }

void LogLine(const char* format, ...) noexcept {
  if (!g_log) return;
  LineWriter line;
  va_list arguments;
  va_start(arguments, format);
  for (const char* f = format; *f; ++f) {
    if (*f != '%' || f[1] == '\0') {
      line.Put(static_cast<wchar_t>(static_cast<unsigned char>(*f)));
      continue;
    }
    switch (*++f) {
      case 's':
        line.PutValue(va_arg(arguments, const wchar_t*));
        break;
      case 'u':
        line.PutNumber(va_arg(arguments, unsigned));
        break;
      case 'e': {
        const unsigned error = va_arg(arguments, unsigned);
        if (error == 0) {
          line.PutAscii("ok");
        } else {
          line.PutAscii("error ");
          line.PutNumber(error);
        }
        break;
      }
      default:
        line.Put(static_cast<wchar_t>(static_cast<unsigned char>(*f)));
        break;
    }
  }
  va_end(arguments);
  line.Put(L'\r');
  line.Put(L'\n');
  // A line cut at the capacity still ends as a line.
  if (g_line[line.length - 1] != L'\n') {
    g_line[line.length - 2] = L'\r';
    g_line[line.length - 1] = L'\n';
  }
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, g_line, static_cast<int>(line.length), g_bytes,
                                        static_cast<int>(kLineBytes), nullptr, nullptr);
  if (bytes > 0) WriteBytes(g_bytes, static_cast<DWORD>(bytes));
}
