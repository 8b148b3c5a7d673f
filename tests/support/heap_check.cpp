// Every test program ends by validating each heap of its process, and fails when one is corrupt.
//
// On its own a validation sees only what breaks a heap's own bookkeeping. The checked
// configuration's prefix (tests/harness/wine-session.sh) turns on heap tail and free checking:
// then a block written past its end is found too, as long as it is still allocated (a block
// freed before the program ends takes the evidence with it), and so is a freed block written to
// before its memory is handed out again.
// Wine names the block in its "err:heap" messages, which a run with WINEDEBUG=err+heap shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

class HeapValidation : public testing::Environment {
 public:
  void TearDown() override {
    // Room for a few more heaps than a moment ago; when that is not enough, GetProcessHeaps
    // fills nothing and says how many there are.
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    ASSERT_GT(count, 0u) << "GetProcessHeaps failed: " << GetLastError();
    ASSERT_LE(count, heaps.size()) << count << " heaps, room for " << heaps.size();
    for (DWORD i = 0; i < count; ++i) {
      EXPECT_TRUE(HeapValidate(heaps[i], 0, nullptr))
          << "heap " << heaps[i] << (heaps[i] == GetProcessHeap() ? " (the process heap)" : "")
          << " is corrupt at the end of the test program";
    }
  }
};

// Registered while the program starts, so that the programs with a main of their own get it too.
// GoogleTest owns the environment.
[[maybe_unused]] testing::Environment* const g_heapValidation =
    testing::AddGlobalTestEnvironment(new HeapValidation);

}  // namespace
