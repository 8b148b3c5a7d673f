// Growable arrays of plain elements, a list of strings stored back to back, and an in-place heap sort.
//
// Growth that cannot be satisfied is fatal: g_errorReporter.FailOutOfMemory() throws VOK_EXIT 8.
// Elements are plain data: moved bitwise on reallocation, never constructed or destroyed, and items
// added by growth are uninitialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "base/error_reporter.h"

template <typename T>
class GrowableArray {
  static_assert(std::is_trivially_copyable<T>::value, "GrowableArray holds plain data only");

 public:
  GrowableArray() noexcept = default;
  // n uninitialised items: GrowBy(n) on an empty array (capacity exactly n when n > 32).
  explicit GrowableArray(uint64_t n) { GrowBy(n); }
  ~GrowableArray() { Release(); }
  GrowableArray(const GrowableArray&) = delete;
  GrowableArray& operator=(const GrowableArray&) = delete;
  GrowableArray(GrowableArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        count_(std::exchange(other.count_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  GrowableArray& operator=(GrowableArray&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = std::exchange(other.data_, nullptr);
      count_ = std::exchange(other.count_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }

  // Adds n uninitialised items. When the count then exceeds the capacity the block grows to
  // capacity + capacity / 4 + 32 items, or to the count if that is larger. GrowBy(0) on an empty
  // array allocates nothing.
  void GrowBy(uint64_t n) {
    if (n > UINT64_MAX - count_) g_errorReporter.FailOutOfMemory();
    const uint64_t wanted = count_ + n;
    if (wanted > capacity_) {
      uint64_t newCapacity = capacity_ + capacity_ / 4 + 32;
      if (newCapacity < capacity_ || wanted > newCapacity) newCapacity = wanted;
      if (newCapacity > SIZE_MAX / sizeof(T)) g_errorReporter.FailOutOfMemory();
      void* block = std::realloc(data_, static_cast<size_t>(newCapacity) * sizeof(T));
      if (!block) g_errorReporter.FailOutOfMemory();
      data_ = static_cast<T*>(block);
      capacity_ = newCapacity;
    }
    count_ = wanted;
  }

  void Append(const T& item) {
    const T copy = item;  // item may live inside the block that GrowBy moves
    GrowBy(1);
    data_[count_ - 1] = copy;
  }

  // Above the capacity: GrowBy(n - count). Otherwise only the count changes (never reallocates).
  void Resize(uint64_t n) {
    if (n > capacity_) {
      GrowBy(n - count_);
    } else {
      count_ = n;
    }
  }

  // Frees the block: no data, count 0, capacity 0.
  void Release() noexcept {
    std::free(data_);
    data_ = nullptr;
    count_ = 0;
    capacity_ = 0;
  }

  // Index must be below Count().
  T& operator[](uint64_t index) noexcept { return data_[index]; }
  const T& operator[](uint64_t index) const noexcept { return data_[index]; }
  // Null while nothing was ever allocated (or after Release).
  T* Data() noexcept { return data_; }
  const T* Data() const noexcept { return data_; }
  uint64_t Count() const noexcept { return count_; }
  uint64_t Capacity() const noexcept { return capacity_; }

 private:
  T* data_ = nullptr;
  uint64_t count_ = 0;
  uint64_t capacity_ = 0;
};

// Strings kept one after another, each with its terminator, handed out in the order added.
class PackedStringList {
 public:
  PackedStringList() noexcept = default;
  PackedStringList(const PackedStringList&) = delete;
  PackedStringList& operator=(const PackedStringList&) = delete;

  // A null text adds an empty string. Pointers from NextString become invalid.
  void AddString(const wchar_t* text);
  // The next string (a pointer into the list, valid until the next AddString; callers may change
  // it in place) and true; at the end out is set to null and the answer is false.
  bool NextString(wchar_t*& out) noexcept;
  // Forgets every string and starts reading from the beginning again.
  void ResetList() noexcept;

  // Characters held, terminators included.
  uint64_t CharacterCount() const noexcept { return characters_.Count(); }

 private:
  GrowableArray<wchar_t> characters_;
  uint64_t readPosition_ = 0;
};

// compare(a, b) > 0 means that a belongs after b.
using ElementCompare = int (*)(const void* a, const void* b);

// Sorts the n elements of elementSize bytes at base in place into ascending order (heap sort; not
// stable). With fewer than 2 elements nothing is allocated or changed. A failed allocation of the
// one scratch element throws VOK_EXIT 8.
void SortElements(void* base, size_t n, size_t elementSize, ElementCompare compare);
