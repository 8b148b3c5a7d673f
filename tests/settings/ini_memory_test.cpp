// Running out of memory while the settings file is parsed. This program replaces the global
// operator new so that a test can make the n-th allocation fail; nothing else in the program is
// affected while it is disarmed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "base/error_reporter.h"
#include "settings/ini_store.h"
#include "support/temp_folder.h"
#include "ini_test_util.h"

namespace {
// Allocations still allowed before one fails; negative: disarmed.
long g_allocationsLeft = -1;
}  // namespace

// GCC, once it inlines these into a caller that also sees a plain `new`, takes the free() for a
// mismatch with that new; here every allocation comes from malloc, so the pairing is right.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (g_allocationsLeft == 0) throw std::bad_alloc();
  if (g_allocationsLeft > 0) --g_allocationsLeft;
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

class FailingAllocations {
 public:
  explicit FailingAllocations(long allowed) { g_allocationsLeft = allowed; }
  ~FailingAllocations() { g_allocationsLeft = -1; }
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};

TEST(IniStoreMemoryTest, RunningOutWhileParsingLeavesTheStoreOutOfUseAndTheFileIntact) {
  TempFolder folder(L"vok ini memory");
  const std::wstring path = folder.Join(L"Ovenix.ini");
  std::wstring text = L"Global\\Integration=0\r\n";
  for (int i = 0; i < 200; ++i)
    text += L"HKCU\\Setup\\Value" + std::to_wstring(i) + L"=\"" + std::wstring(40, L'x') + L"\"\r\n";
  const std::string original = AnsiFile(text);
  ASSERT_TRUE(WriteFileBytes(path, original));

  // The file needs 603 allocations for its entries (an entry and its two texts each) and 6 more
  // for the two Global entries it lacks. Fail at the first, inside the entries, at the last
  // entry's text, and while the Global flags are added.
  constexpr long kNeeded = 609;
  for (long allowed : {0L, 1L, 7L, 150L, 602L, 603L, 605L, 608L}) {
    SCOPED_TRACE(testing::Message() << allowed << " allocations allowed");
    const uint32_t reportsBefore = g_errorReporter.ReportCount();
    {
      IniStore store;
      bool loaded = true;
      {
        FailingAllocations failing(allowed);
        loaded = store.LoadFile(path.c_str());
      }
      EXPECT_FALSE(loaded);
      EXPECT_FALSE(store.loaded());
      EXPECT_TRUE(store.loadTried()) << "the search must not run again";
      EXPECT_TRUE(store.Integration) << "a store out of use leaves registry access on";
      EXPECT_EQ(nullptr, store.entries());
      EXPECT_FALSE(store.Handles(HKEY_CURRENT_USER, L"Setup"));
      EXPECT_FALSE(store.Save());
      EXPECT_EQ(reportsBefore + 1, g_errorReporter.ReportCount()) << "the memory error was not reported";
    }  // destruction writes nothing back
    EXPECT_EQ(original, ReadFileBytes(path));
  }

  // With just enough memory the same file loads, which shows the failures above were the injected
  // ones and that the last of them struck while the Global flags were being added.
  IniStore store;
  {
    FailingAllocations failing(kNeeded);
    ASSERT_TRUE(store.LoadFile(path.c_str()));
  }
  EXPECT_FALSE(store.Integration);
  store.Discard();
}

}  // namespace
