// TEST-ONLY. Nothing in the product includes this header or holds its code: settings/registry.cpp
// consults the seam only when compiled with VOK_TEST_SEAMS, as the copy linked into the test
// programs is (tests/support, which also implements the functions below).
//
// Wine does not enforce registry permissions for its own user, so a write refused with
// ERROR_ACCESS_DENIED cannot be provoked through a key's security descriptor. This seam makes the
// next `count` registry writes of settings/registry.h fail with `error` instead:
//   - only WriteSettingString and WriteSettingNumber (and the WriteUser* shorthands) count, and
//     only when they actually reach the registry (not when the INI store serves them or registry
//     access is off);
//   - a refused write touches nothing (the key is not even created) and returns `error`;
//   - reads and deletions are never affected.
// The armed count is process-wide; use the scope object so that a failing test cannot leave it
// armed for the next one:
//
//   RegistryWriteFailures refuse(1);            // the first registry write returns 5
//   EXPECT_FALSE(RegisterProgIds());
//   EXPECT_EQ(0u, refuse.Remaining());          // the write was attempted
#pragma once

#include <windows.h>

// Arms the seam: the next `count` registry writes fail with `error`. 0 disarms it.
void FailNextRegistryWrites(unsigned count, DWORD error = ERROR_ACCESS_DENIED);
// Writes still to be refused.
unsigned RemainingRegistryWriteFailures();

// Arms a second, independent refusal: every registry write to exactly this key (root and registry
// path after the program-key rule, letter case ignored) fails with `error` until it is disarmed
// with a null root. For refusing one particular write in the middle of a longer sequence.
void FailRegistryWritesToKey(HKEY root, const wchar_t* subkey, DWORD error = ERROR_ACCESS_DENIED);

// For settings/registry.cpp: called with the registry path (after the program-key rule) before a
// write creates its key; true when the write is to be refused with *error.
bool TakeRegistryWriteFailure(HKEY root, const wchar_t* path, DWORD* error);

class RegistryWriteFailures {
 public:
  explicit RegistryWriteFailures(unsigned count, DWORD error = ERROR_ACCESS_DENIED) {
    FailNextRegistryWrites(count, error);
  }
  ~RegistryWriteFailures() { FailNextRegistryWrites(0); }
  RegistryWriteFailures(const RegistryWriteFailures&) = delete;
  RegistryWriteFailures& operator=(const RegistryWriteFailures&) = delete;

  unsigned Remaining() const { return RemainingRegistryWriteFailures(); }
};
