// End to end: the built uninstall.exe, copied into a folder of its own with the shipped
// right-to-left sample as its "uninstall.lng", shows its "warning" notice in Hebrew and mirrored.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/handles.h"
#include "support/language_file.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace {

std::string Printable(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) {
    if (c < 128) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[12];
      snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

struct FoundWindow {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK FindTopLevelOfProcess(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<FoundWindow*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  wchar_t className[32] = L"";
  GetClassNameW(window, className, 32);
  if (processId == found->processId && IsWindowVisible(window) && wcscmp(className, L"#32770") == 0) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStaticTexts(HWND child, LPARAM context) {
  wchar_t className[32] = L"";
  GetClassNameW(child, className, 32);
  if (lstrcmpiW(className, L"Static") == 0) {
    wchar_t text[1024] = L"";
    GetWindowTextW(child, text, 1024);
    reinterpret_cast<std::vector<std::wstring>*>(context)->push_back(text);
  }
  return TRUE;
}

struct Notice {
  bool shown = false;
  std::wstring caption;
  std::wstring message;  // the longest static text of the box
  DWORD exStyle = 0;
  bool finished = false;
  DWORD exitCode = 0xDEADBEEF;
};

// Starts `exe -warning`, reads the message box it shows, confirms it and waits for the exit.
Notice RunWarning(const std::wstring& exe, const std::wstring& folder) {
  Notice notice;
  std::wstring commandLine = Quoted(exe) + L" -warning";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, /*inheritHandles=*/FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    return notice;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);

  FoundWindow found{info.dwProcessId, nullptr};
  notice.shown = WaitUntil(
      [&] {
        found.window = nullptr;
        EnumWindows(FindTopLevelOfProcess, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
      },
      30000);
  if (notice.shown) {
    wchar_t caption[512] = L"";
    GetWindowTextW(found.window, caption, 512);
    notice.caption = caption;
    notice.exStyle = static_cast<DWORD>(GetWindowLongW(found.window, GWL_EXSTYLE));
    std::vector<std::wstring> texts;
    EnumChildWindows(found.window, CollectStaticTexts, reinterpret_cast<LPARAM>(&texts));
    for (const std::wstring& text : texts) {
      if (text.size() > notice.message.size()) notice.message = text;
    }
    PostMessageW(found.window, WM_COMMAND, IDOK, 0);
  }
  if (WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0) {
    notice.finished = true;
    GetExitCodeProcess(process.get(), &notice.exitCode);
  } else {
    TerminateProcess(process.get(), 99);
  }
  return notice;
}

class SampleWarningNotice : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = folder_.Join(L"uninstall.exe");
    ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), exe_.c_str(), /*failIfExists=*/TRUE))
        << "error " << GetLastError();
  }
  TempFolder folder_{L"vokwarning"};
  std::wstring exe_;
};

TEST_F(SampleWarningNotice, HebrewAndMirroredWithTheRightToLeftSample) {
  ASSERT_TRUE(CopyFileW(VOK_SAMPLE_RTL_LANGUAGE, folder_.Join(L"uninstall.lng").c_str(), TRUE));
  const Notice notice = RunWarning(exe_, folder_.path());
  ASSERT_TRUE(notice.shown) << "no message box appeared";
  // The texts straight from the sample file: "הסרת Ovenix" and the first sentence of 5107.
  EXPECT_EQ(notice.caption, L"\x05D4\x05E1\x05E8\x05EA Ovenix") << Printable(notice.caption);
  EXPECT_EQ(notice.message.rfind(L"\x05D4\x05EA\x05D5\x05DB\x05E0\x05D4 Ovenix", 0), 0u) << Printable(notice.message);
  EXPECT_NE(notice.message.find(exe_), std::wstring::npos) << "the program path: " << Printable(notice.message);
  // The process layout is right to left, so the box is mirrored.
  EXPECT_NE(notice.exStyle & WS_EX_LAYOUTRTL, 0u) << std::hex << notice.exStyle;
  EXPECT_TRUE(notice.finished);
  EXPECT_EQ(notice.exitCode, 0u);
}

}  // namespace
