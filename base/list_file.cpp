#include "base/list_file.h"

#include <cstring>
#include <cwchar>

#include "base/text_file.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

void StripTrailingBlanks(char* line) noexcept {
  size_t length = std::strlen(line);
  while (length > 0) {
    const char last = line[length - 1];
    if (last != '\t' && last != '\n' && last != '\r' && last != ' ') break;
    line[--length] = 0;
  }
}

bool ListReader::Fill() noexcept {
  if (ended_) return false;
  DWORD read = 0;
  if (!ReadFile(file_, buffer_, sizeof buffer_, &read, nullptr) || read == 0) {
    ended_ = true;
    filled_ = position_ = 0;
    return false;
  }
  filled_ = read;
  position_ = 0;
  return true;
}

bool ListReader::NextPiece(char* piece) noexcept {
  size_t stored = 0;
  size_t taken = 0;
  bool nulSeen = false;
  piece[0] = 0;
  while (taken < kListPieceBytes) {
    if (position_ == filled_ && !Fill()) break;
    const char c = buffer_[position_++];
    ++taken;
    if (c == 0) nulSeen = true;
    if (!nulSeen) piece[stored++] = c;
    if (c == '\n') break;
  }
  piece[stored] = 0;
  return taken > 0;
}

bool ListReader::Rewind() noexcept {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file_, start, nullptr, FILE_BEGIN)) return false;
  filled_ = position_ = 0;
  ended_ = false;
  return true;
}

bool IsPlainRelativeName(const wchar_t* name) noexcept {
  if (name == nullptr || name[0] == 0 || IsSeparator(name[0])) return false;
  if (std::wcschr(name, L':') != nullptr) return false;
  const wchar_t* component = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == 0 || IsSeparator(*p)) {
      if (p - component == 2 && component[0] == L'.' && component[1] == L'.') return false;
      if (*p == 0) break;
      component = p + 1;
    }
  }
  return true;
}

bool NextListName(ListReader& list, wchar_t* name) noexcept {
  char piece[kListPieceBytes + 1];
  while (list.NextPiece(piece)) {
    StripTrailingBlanks(piece);
    if (piece[0] != 0 && AnsiToWide(piece, name, kListPieceBytes + 1) && IsPlainRelativeName(name)) return true;
  }
  return false;
}
