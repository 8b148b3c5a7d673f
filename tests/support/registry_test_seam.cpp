// The registry write-failure seam (settings/registry_test_seam.h), linked only into test programs.
#include "settings/registry_test_seam.h"

#include "settings/registry.h"

namespace {

unsigned g_failingWrites = 0;
DWORD g_failingWriteError = ERROR_ACCESS_DENIED;
HKEY g_failingKeyRoot = nullptr;  // FailRegistryWritesToKey: null when disarmed
wchar_t g_failingKeyPath[kRegistryPathCapacity] = L"";
DWORD g_failingKeyError = ERROR_ACCESS_DENIED;

}  // namespace

bool TakeRegistryWriteFailure(HKEY root, const wchar_t* path, DWORD* error) {
  if (g_failingKeyRoot != nullptr && root == g_failingKeyRoot &&
      CompareStringOrdinal(path, -1, g_failingKeyPath, -1, /*ignoreCase=*/TRUE) == CSTR_EQUAL) {
    *error = g_failingKeyError;
    return true;
  }
  if (g_failingWrites == 0) return false;
  --g_failingWrites;
  *error = g_failingWriteError;
  return true;
}

void FailNextRegistryWrites(unsigned count, DWORD error) {
  g_failingWrites = count;
  g_failingWriteError = error;
}

unsigned RemainingRegistryWriteFailures() { return g_failingWrites; }

void FailRegistryWritesToKey(HKEY root, const wchar_t* subkey, DWORD error) {
  g_failingKeyRoot = nullptr;
  if (root != nullptr && ProgramKeyPath(root, subkey, g_failingKeyPath, kRegistryPathCapacity)) {
    g_failingKeyRoot = root;
    g_failingKeyError = error;
  }
}
