// language_template <output file>: writes the template language file for translators from this
// program's own key table and resources (the same resources as uninstall.exe).
#include <windows.h>

#include <cstdio>

#include "tools/language_template/language_template.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: language_template <output file>\n");
    return 2;
  }
  if (!WriteLanguageTemplate(GetModuleHandleW(nullptr), argv[1])) {
    fwprintf(stderr, L"language_template: cannot write %ls (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  return 0;
}
