// Redirects HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process into a
// throw-away key (HKCU\Software\VokTests\<pid>-<n>\{HKCR,HKCU,HKLM}) for the life of the object,
// so a test starts from empty roots and leaves nothing behind. The tree is deleted afterwards.
// While no settings file is loaded, the settings store is also kept from searching for one: the
// program's settings then live in the private tree, whatever the machine's folders hold.
//
// Note: the 32-bit registry view (KEY_WOW64_32KEY) of a redirected root is not redirected the
// way the real roots are; tests of the 32-bit view use the real roots with a tree they delete.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

class PrivateRegistry {
 public:
  PrivateRegistry();
  ~PrivateRegistry();
  PrivateRegistry(const PrivateRegistry&) = delete;
  PrivateRegistry& operator=(const PrivateRegistry&) = delete;

 private:
  std::wstring base_;  // below the real HKCU
  UniqueHkey classes_, user_, machine_;
};
