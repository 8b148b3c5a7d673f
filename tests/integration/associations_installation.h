// Shared by the association tests that run from a copy of the test program laid out like an
// installation (see associations_installation_test.cpp).
#pragma once

#include <string>

// True in the copy that runs the tests.
bool RunningFromInstallation();
// The full path of a file in the installation folder (the running program's folder).
std::wstring InstallationFile(const wchar_t* name);
