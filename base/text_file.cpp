#include "base/text_file.h"

#include <windows.h>

#include <climits>

#include "base/disk_file.h"

namespace {

constexpr size_t kReadChunk = 4096;

int ClampToInt(size_t value) noexcept { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

bool StartsWith(const uint8_t* bytes, size_t size, const uint8_t* mark, size_t markSize) noexcept {
  if (size < markSize) return false;
  for (size_t i = 0; i < markSize; ++i) {
    if (bytes[i] != mark[i]) return false;
  }
  return true;
}

constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kUtf16LittleMark[] = {0xFF, 0xFE};
constexpr uint8_t kUtf16BigMark[] = {0xFE, 0xFF};

int LeadingOnes(uint8_t byte) noexcept {
  int count = 0;
  while (count < 8 && (byte & (0x80 >> count))) ++count;
  return count;
}

// Splits text into lines in place and appends the non-empty ones.
void AppendLines(wchar_t* text, PackedStringList& lines) {
  wchar_t* p = text;
  while (*p != 0) {
    wchar_t* const start = p;
    while (*p != 0 && *p != L'\r' && *p != L'\n') ++p;
    const wchar_t ender = *p;
    *p = 0;
    wchar_t* end = p;
    while (end > start && (end[-1] == L' ' || end[-1] == L'\t')) *--end = 0;
    if (*start != 0) lines.AddString(start);
    if (ender == 0) break;
    ++p;
    while (*p == L'\r' || *p == L'\n') ++p;
  }
}

}  // namespace

bool ReadTextFileLines(const wchar_t* path, PackedStringList& lines) {
  DiskFile file;
  if (path && path[0] != 0) {
    if (!file.Open(path, 0)) return false;
  } else {
    file.UseStandardStreams();
  }

  // The block always has room for one more chunk after the bytes read so far.
  GrowableArray<uint8_t> bytes(kReadChunk);
  uint64_t total = 0;
  for (;;) {
    const int32_t got = file.Read(bytes.Data() + total, static_cast<uint32_t>(kReadChunk));
    if (got <= 0) break;  // end, a read error, or a failed standard stream
    bytes.GrowBy(static_cast<uint64_t>(got));
    total += static_cast<uint64_t>(got);
  }
  bytes.Resize(total);
  const size_t size = static_cast<size_t>(total);

  GrowableArray<wchar_t> text;
  switch (DetectTextEncoding(bytes.Data(), size)) {
    case TextEncoding::Ansi:
      bytes.Append(0);
      text.Resize(total + 1);
      AnsiToWide(reinterpret_cast<const char*>(bytes.Data()), text.Data(), size + 1);
      break;
    case TextEncoding::Utf16: {
      text.Resize(total / 2 + 1);
      const bool bigEndian = bytes[0] == 0xFE;
      size_t units = 0;
      for (size_t offset = 2; offset + 1 < size; offset += 2) {
        const unsigned first = bytes[offset], second = bytes[offset + 1];
        text[units++] = static_cast<wchar_t>(bigEndian ? first * 256 + second : first + second * 256);
      }
      text[units] = 0;
      break;
    }
    case TextEncoding::Utf8:
      bytes.Append(0);
      text.Resize(total + 1);
      // Text after an invalid sequence is lost; what decoded before it is kept.
      Utf8ToWide(reinterpret_cast<const char*>(bytes.Data()) + sizeof(kUtf8Mark), text.Data(), size + 1);
      break;
  }
  AppendLines(text.Data(), lines);
  file.Close();
  return true;
}

TextEncoding DetectTextEncoding(const uint8_t* bytes, size_t size) noexcept {
  if (size > 3 && StartsWith(bytes, size, kUtf8Mark, 3) && IsValidUtf8(bytes + 3, size - 3)) {
    return TextEncoding::Utf8;
  }
  const bool little = size > 2 && StartsWith(bytes, size, kUtf16LittleMark, 2);
  const bool big = size > 2 && StartsWith(bytes, size, kUtf16BigMark, 2);
  if (!little && !big) return TextEncoding::Ansi;
  // Text in UTF-16 has control-range high bytes (0 for Latin text); ANSI text with a mark-like
  // start rarely does.
  for (size_t offset = little ? 3 : 2; offset < size; offset += 2) {
    const uint8_t high = bytes[offset];
    if (high < 32 && high != 10 && high != 13) return TextEncoding::Utf16;
  }
  return TextEncoding::Ansi;
}

bool IsValidUtf8(const uint8_t* bytes, size_t size) noexcept {
  size_t i = 0;
  while (i < size) {
    const int ones = LeadingOnes(bytes[i]);
    if (ones == 1 || ones > 6) return false;
    if (ones == 0) {
      ++i;
      continue;
    }
    const size_t length = static_cast<size_t>(ones);
    if (length > size - i) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

bool Utf8ToWide(const char* source, wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  bool result = true;
  size_t room = capacity - 1;
  size_t written = 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(source ? source : "");
  while (*p != 0) {
    const uint8_t lead = *p;
    uint32_t codePoint;
    int following;
    if (lead < 0x80) {
      codePoint = lead;
      following = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      codePoint = lead & 0x1Fu;
      following = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      codePoint = lead & 0x0Fu;
      following = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      codePoint = lead & 0x07u;
      following = 3;
    } else {
      result = false;
      break;
    }
    bool valid = true;
    for (int k = 1; k <= following; ++k) {
      // A NUL terminator is not a continuation byte, so this never reads past the source.
      if ((p[k] & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      codePoint = (codePoint << 6) | (p[k] & 0x3Fu);
    }
    if (!valid) {
      result = false;
      break;
    }
    if (room == 0) break;
    --room;
    if (codePoint <= 0xFFFF) {
      destination[written++] = static_cast<wchar_t>(codePoint);
    } else {
      if (room == 0) break;
      --room;
      if (codePoint <= 0x10FFFF) {
        destination[written++] = static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10));
        destination[written++] = static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
      } else {
        result = false;
      }
    }
    p += following + 1;
  }
  destination[written] = 0;
  return result;
}

bool AnsiToWide(const char* source, wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;  // nothing can be written, not even the terminator
  destination[0] = 0;
  if (!source) return false;
  const int converted = MultiByteToWideChar(CP_ACP, 0, source, -1, destination, ClampToInt(capacity));
  destination[capacity - 1] = 0;
  return converted != 0;
}

bool WideToAnsi(const wchar_t* source, char* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  destination[0] = 0;
  if (!source) return false;
  const int converted =
      WideCharToMultiByte(CP_ACP, 0, source, -1, destination, ClampToInt(capacity), /*defaultChar=*/nullptr,
                          /*usedDefaultChar=*/nullptr);
  destination[capacity - 1] = 0;
  return converted != 0;
}
