// Drives a dialog of another program the way a user would, through window messages only:
//   dialog_driver click <marker> <control>   clicks <control> of the visible dialog that has a
//                                            control with the ID <marker>
//   dialog_driver wait <marker>              waits until such a dialog is visible
//   dialog_driver rect <marker>              prints its window rectangle as WxH+X+Y
// Waits up to 20 s for the dialog; exit code 0 on success, 1 when no such dialog appeared.
// Used by scripts/screenshots.sh to step through setup under Xvfb.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

struct Search {
  int marker;
  HWND found;
};

BOOL CALLBACK FindMarked(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  // "SETUPDLG" has controls with every ID of "DONEDLG": the completion dialog is 5102 without 5125.
  const bool excluded = search->marker == 5102 && GetDlgItem(window, 5125);
  if (IsWindowVisible(window) && GetDlgItem(window, search->marker) && !excluded) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialog(int marker) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    Search search{marker, nullptr};
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  HWND dialog = WaitForDialog(_wtoi(argv[2]));
  if (!dialog) return 1;
  if (wcscmp(argv[1], L"click") == 0 && argc >= 4) {
    HWND control = GetDlgItem(dialog, _wtoi(argv[3]));
    if (!control) return 1;
    PostMessageW(control, BM_CLICK, 0, 0);
  } else if (wcscmp(argv[1], L"rect") == 0) {
    RECT rect = {};
    GetWindowRect(dialog, &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
  }
  return 0;
}
