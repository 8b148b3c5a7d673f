#include "base/growable_array.h"

#include <cwchar>

void PackedStringList::AddString(const wchar_t* text) {
  if (!text) text = L"";
  const size_t length = wcslen(text);
  const uint64_t start = characters_.Count();
  // A string handed out by NextString may be added again; growth can move the block it lives in.
  const uintptr_t address = reinterpret_cast<uintptr_t>(text);
  const uintptr_t blockStart = reinterpret_cast<uintptr_t>(characters_.Data());
  const bool insideBlock =
      characters_.Data() && address >= blockStart && address < blockStart + start * sizeof(wchar_t);
  const uint64_t offset = insideBlock ? (address - blockStart) / sizeof(wchar_t) : 0;
  characters_.GrowBy(static_cast<uint64_t>(length) + 1);
  if (insideBlock) text = characters_.Data() + offset;
  std::memcpy(characters_.Data() + start, text, (length + 1) * sizeof(wchar_t));
}

bool PackedStringList::NextString(wchar_t*& out) noexcept {
  if (readPosition_ >= characters_.Count()) {
    out = nullptr;
    return false;
  }
  out = characters_.Data() + readPosition_;
  // Step over the string and its terminator. The walk is bounded by the count, so a caller that
  // overwrote a terminator in place cannot carry the read position past the block.
  uint64_t position = readPosition_;
  while (position < characters_.Count() && characters_[position] != 0) ++position;
  readPosition_ = position + 1;
  return true;
}

void PackedStringList::ResetList() noexcept {
  readPosition_ = 0;
  characters_.Release();
}

namespace {

// Moves the value in scratch down from index h into its place in the heap of heapSize elements.
void SiftDown(unsigned char* base, size_t h, size_t heapSize, size_t elementSize, unsigned char* scratch,
              ElementCompare compare) {
  for (;;) {
    size_t child = 2 * h + 1;
    if (child >= heapSize) break;
    if (child + 1 < heapSize && compare(base + (child + 1) * elementSize, base + child * elementSize) > 0) {
      ++child;
    }
    if (compare(base + child * elementSize, scratch) > 0) {
      std::memcpy(base + h * elementSize, base + child * elementSize, elementSize);
      h = child;
    } else {
      break;
    }
  }
  std::memcpy(base + h * elementSize, scratch, elementSize);
}

struct ScratchBlock {
  explicit ScratchBlock(size_t size) : bytes(static_cast<unsigned char*>(std::malloc(size ? size : 1))) {}
  ~ScratchBlock() { std::free(bytes); }
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;
  unsigned char* bytes;
};

}  // namespace

void SortElements(void* base, size_t n, size_t elementSize, ElementCompare compare) {
  if (n < 2) return;
  ScratchBlock scratch(elementSize);
  if (!scratch.bytes) g_errorReporter.FailOutOfMemory();
  unsigned char* const elements = static_cast<unsigned char*>(base);

  for (size_t i = n / 2; i-- > 0;) {
    std::memcpy(scratch.bytes, elements + i * elementSize, elementSize);
    SiftDown(elements, i, n, elementSize, scratch.bytes, compare);
  }
  for (size_t heapSize = n; heapSize > 1;) {
    const size_t last = heapSize - 1;
    std::memcpy(scratch.bytes, elements + last * elementSize, elementSize);
    std::memcpy(elements + last * elementSize, elements, elementSize);
    heapSize = last;
    SiftDown(elements, 0, heapSize, elementSize, scratch.bytes, compare);
  }
}
