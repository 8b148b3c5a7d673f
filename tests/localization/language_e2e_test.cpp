// End to end: the built program, copied into a folder of its own together with a language library
// and a language file, shows its "warning" notice with texts from all three sources (file,
// library, program) and, with a right-to-left library, mirrored.
#include <gtest/gtest.h>

#include <string>

#include "base/handles.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

struct FoundWindow {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM context) {
  FoundWindow* found = reinterpret_cast<FoundWindow*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  wchar_t className[64] = L"";
  GetClassNameW(window, className, 64);
  if (processId == found->processId && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

struct NoticeSeen {
  bool shown = false;
  std::wstring caption;
  std::wstring text;
  LONG_PTR extendedStyle = 0;
  ProcessResult result;
};

// Starts "<folder>\uninstall.exe -warning", waits for its message box, reads it and confirms it.
NoticeSeen RunWarning(const TempFolder& folder) {
  NoticeSeen seen;
  const std::wstring program = folder.Join(L"uninstall.exe");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = Quoted(program) + L" -warning";
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.path().c_str(),
                      &startup, &process)) {
    return seen;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  FoundWindow found{process.dwProcessId, nullptr};
  WaitUntil(
      [&] {
        found.window = nullptr;
        EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
      },
      20000);
  if (found.window) {
    seen.shown = true;
    seen.caption = WindowText(found.window);
    seen.text = WindowText(GetDlgItem(found.window, 0xFFFF));  // the message box's text control
    seen.extendedStyle = GetWindowLongPtrW(found.window, GWL_EXSTYLE);
    PostMessageW(found.window, WM_COMMAND, IDOK, 0);
  }
  if (WaitForSingleObject(processHandle.get(), 20000) == WAIT_OBJECT_0) {
    seen.result.finished = true;
    GetExitCodeProcess(processHandle.get(), &seen.result.exitCode);
  } else {
    TerminateProcess(processHandle.get(), 99);
  }
  return seen;
}

class WarningNotice : public ::testing::Test {
 protected:
  void Install(const wchar_t* library, const std::string& languageFile) {
    ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), folder_.Join(L"uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((OwnModuleFolder() + L"\\" + library).c_str(), folder_.Join(L"voklng.dll").c_str(), FALSE));
    if (!languageFile.empty()) {
      ASSERT_TRUE(WriteFileBytes(folder_.Join(L"uninstall.lng"), languageFile));
    }
  }
  TempFolder folder_{L"vokwarning"};
};

TEST_F(WarningNotice, TextsComeFromFileLibraryAndProgram) {
  // 5107 from the file, 5108 (the format) from the library, 5106 (the caption) from the program.
  Install(L"language_library_plain.dll", "***messages**\r\nIDS_UNINSTALLCOMPLETED Removed, says the file.\r\n");
  const NoticeSeen seen = RunWarning(folder_);
  ASSERT_TRUE(seen.shown) << "no notice appeared";
  EXPECT_EQ(ProgramString(5106), seen.caption);
  EXPECT_EQ(L"Removed, says the file.\nThe library asks you to delete " + folder_.Join(L"uninstall.exe") + L" yourself.",
            seen.text);
  EXPECT_EQ(0, seen.extendedStyle & WS_EX_LAYOUTRTL);
  EXPECT_TRUE(seen.result.finished);
  EXPECT_EQ(0u, seen.result.exitCode);
}

TEST_F(WarningNotice, RightToLeftLibraryMirrorsTheNotice) {
  Install(L"language_library_rtl.dll", "");
  const NoticeSeen seen = RunWarning(folder_);
  ASSERT_TRUE(seen.shown) << "no notice appeared";
  EXPECT_EQ(WS_EX_LAYOUTRTL, seen.extendedStyle & WS_EX_LAYOUTRTL) << std::hex << seen.extendedStyle;
  EXPECT_TRUE(seen.result.finished);
  EXPECT_EQ(0u, seen.result.exitCode);
}

}  // namespace
