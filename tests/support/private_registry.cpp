#include "support/private_registry.h"

#include <gtest/gtest.h>

#include "settings/ini_store.h"

PrivateRegistry::PrivateRegistry() {
  static unsigned counter = 0;
  base_ = L"Software\\VokTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
  const struct {
    const wchar_t* name;
    UniqueHkey* key;
  } roots[] = {{L"HKCR", &classes_}, {L"HKCU", &user_}, {L"HKLM", &machine_}};
  for (const auto& root : roots) {
    const std::wstring path = base_ + L"\\" + root.name;
    const LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        root.key->put(), nullptr);
    EXPECT_EQ(ERROR_SUCCESS, status) << "creating the private registry root " << root.name;
  }
  // Redirect HKCU last: the other two were opened through the real one.
  EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.get()));
  EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.get()));
  EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_.get()));
  // A settings file in the user's data folder (a scenario's surviving one, say) would take the
  // program's settings out of this tree: until a test loads a file of its own, there is none.
  if (!g_iniStore.loaded()) g_iniStore.LoadFile(L"");
}

PrivateRegistry::~PrivateRegistry() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  classes_.reset();
  user_.reset();
  machine_.reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
  // Remove the parent too when no other test is using it.
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VokTests");
}
