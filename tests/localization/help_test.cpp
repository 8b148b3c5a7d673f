// The help viewer against the system's real HTML Help control and a help file compiled for the
// tests (html/HELPIntegrationSettings.htm, html/HELPContextItems.htm and a table of contents).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localization/help.h"
#include "localization/help_test_seam.h"
#include "localization/language.h"
#include "support/private_registry.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

namespace {

struct HelpCall {
  std::wstring pathOrUrl;
  UINT command;
  HWND owner;
  HWND shown;
};

// What the hooks saw, and how they behave.
std::vector<HelpCall> g_calls;
bool g_failNonAnsiPaths = false;  // stands in for a help control that cannot open such paths

bool IsAnsiRepresentable(const std::wstring& text) {
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, &lossy);
  return !lossy;
}

HWND RecordingHtmlHelp(HtmlHelpEntry realEntry, HWND owner, const wchar_t* pathOrUrl, UINT command, DWORD_PTR data) {
  HWND shown = nullptr;
  if (!g_failNonAnsiPaths || IsAnsiRepresentable(pathOrUrl)) shown = realEntry(owner, pathOrUrl, command, data);
  g_calls.push_back({pathOrUrl, command, owner, shown});
  return shown;
}

std::wstring BuiltHelpFile() { return OwnModuleFolder() + L"\\help_test.chm"; }

class HelpViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_failNonAnsiPaths = false;
    hooks_.htmlHelp = RecordingHtmlHelp;
    hooks_.programPath = nullptr;
    hooks_.loadHelpLibrary = nullptr;
  }
  void TearDown() override {
    for (const HelpCall& call : g_calls) {
      if (call.shown && IsWindow(call.shown)) DestroyWindow(call.shown);
    }
    SetHelpTestHooks(nullptr);
  }
  // The program "lives" in folder: the help file is looked for beside it.
  void PlaceProgramIn(const std::wstring& folder, bool withHelpFile) {
    programPath_ = folder + L"\\uninstall.exe";
    ASSERT_TRUE(WriteFileBytes(programPath_, "stand-in for the program"));
    if (withHelpFile) {
      ASSERT_TRUE(CopyFileW(BuiltHelpFile().c_str(), (folder + L"\\ovenix.chm").c_str(), FALSE));
    }
    hooks_.programPath = programPath_.c_str();
    SetHelpTestHooks(&hooks_);
  }

  PrivateRegistry registry_;
  HelpTestHooks hooks_;
  std::wstring programPath_;
};

TEST_F(HelpViewer, TopicOpensThePageOfTheHelpFile) {
  TempFolder program(L"vokhelp");
  PlaceProgramIn(program.path(), true);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_EQ(program.Join(L"ovenix.chm") + L"::/html/HELPIntegrationSettings.htm", g_calls[0].pathOrUrl);
  EXPECT_EQ(0u, g_calls[0].command);  // HH_DISPLAY_TOPIC
  EXPECT_EQ(GetDesktopWindow(), g_calls[0].owner);
  EXPECT_NE(nullptr, g_calls[0].shown) << "the help control did not show the page";
}

TEST_F(HelpViewer, NoTopicOpensTheContents) {
  TempFolder program(L"vokhelp");
  PlaceProgramIn(program.path(), true);
  ShowHelp(reinterpret_cast<HWND>(0x1234), nullptr);  // the window argument is never the owner
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_EQ(program.Join(L"ovenix.chm"), g_calls[0].pathOrUrl);
  EXPECT_EQ(1u, g_calls[0].command);  // HH_DISPLAY_TOC
  EXPECT_EQ(GetDesktopWindow(), g_calls[0].owner);
  EXPECT_NE(nullptr, g_calls[0].shown);
}

TEST_F(HelpViewer, MissingHelpFileShowsNothingAndIsNotRetried) {
  TempFolder program(L"vokhelp");
  PlaceProgramIn(program.path(), false);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  ASSERT_EQ(1u, g_calls.size()) << "an ANSI path is never retried";
  EXPECT_EQ(nullptr, g_calls[0].shown);
  ShowHelp(nullptr, nullptr);
  ASSERT_EQ(2u, g_calls.size());
  EXPECT_EQ(nullptr, g_calls[1].shown);
}

TEST_F(HelpViewer, HelpFileInTheLanguageFolderIsPreferred) {
  TempFolder program(L"vokhelp");
  TempFolder languages(L"vokhelplang");
  ASSERT_TRUE(CopyFileW(BuiltHelpFile().c_str(), languages.Join(L"ovenix.chm").c_str(), FALSE));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\General", L"LanguageFolder", languages.path()));
  PlaceProgramIn(program.path(), true);
  ShowHelp(nullptr, L"HELPContextItems");
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_EQ(languages.Join(L"ovenix.chm") + L"::/html/HELPContextItems.htm", g_calls[0].pathOrUrl);
  EXPECT_NE(nullptr, g_calls[0].shown);
}

TEST_F(HelpViewer, PathIsComposedOnceAndKeptForLaterRequests) {
  TempFolder program(L"vokhelp");
  PlaceProgramIn(program.path(), true);
  ShowHelp(nullptr, nullptr);
  TempFolder languages(L"vokhelplang");
  ASSERT_TRUE(CopyFileW(BuiltHelpFile().c_str(), languages.Join(L"ovenix.chm").c_str(), FALSE));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\General", L"LanguageFolder", languages.path()));
  ShowHelp(nullptr, nullptr);
  ASSERT_EQ(2u, g_calls.size());
  EXPECT_EQ(g_calls[0].pathOrUrl, g_calls[1].pathOrUrl);
}

// A folder name outside the ANSI code page (Cyrillic and a snowman under code page 1252).
const wchar_t kNonAnsiFolder[] = L"vokhelp-\x0421\x043F\x0440\x0430\x0432\x043A\x0430-\x2603";

// Stands in for a system without "hhctrl.ocx" as long as g_libraryMissing is set.
bool g_libraryMissing = false;
int g_libraryLoads = 0;
HMODULE LoadHelpLibraryUnlessMissing() {
  ++g_libraryLoads;
  if (g_libraryMissing) return nullptr;
  wchar_t path[MAX_PATH] = L"";
  GetSystemDirectoryW(path, MAX_PATH);
  return LoadLibraryW((std::wstring(path) + L"\\hhctrl.ocx").c_str());
}

TEST_F(HelpViewer, MissingHelpLibraryDoesNothingAndIsLookedForAgain) {
  TempFolder program(L"vokhelp");
  hooks_.loadHelpLibrary = LoadHelpLibraryUnlessMissing;
  g_libraryLoads = 0;
  g_libraryMissing = true;
  PlaceProgramIn(program.path(), true);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  EXPECT_EQ(1, g_libraryLoads);
  EXPECT_TRUE(g_calls.empty());
  g_libraryMissing = false;
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  EXPECT_EQ(2, g_libraryLoads);
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_NE(nullptr, g_calls[0].shown);
  ShowHelp(nullptr, nullptr);
  EXPECT_EQ(2, g_libraryLoads) << "a loaded library is kept";
}

TEST_F(HelpViewer, NonAnsiPathWithTheSystemControl) {
  TempFolder program(kNonAnsiFolder);
  ASSERT_FALSE(IsAnsiRepresentable(program.path()));
  PlaceProgramIn(program.path(), true);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  ASSERT_GE(g_calls.size(), 1u);
  if (RunningUnderWine()) {
    // Wine's HTML Help control opens the wide path as it is: the first call succeeds and the
    // retry is never needed. The retry itself is tested below with a control that fails.
    EXPECT_NE(nullptr, g_calls[0].shown);
    EXPECT_EQ(1u, g_calls.size());
  } else {
    // A control that may fail on it: then the short path is tried once and succeeds.
    ASSERT_LE(g_calls.size(), 2u);
    EXPECT_NE(nullptr, g_calls.back().shown);
  }
}

TEST_F(HelpViewer, NonAnsiPathIsRetriedOnceWithTheShortPath) {
  TempFolder program(kNonAnsiFolder);
  g_failNonAnsiPaths = true;
  PlaceProgramIn(program.path(), true);
  wchar_t shortProgram[2048] = L"";
  ASSERT_GT(GetShortPathNameW(programPath_.c_str(), shortProgram, 2048), 0u);
  std::wstring shortHelp = shortProgram;
  shortHelp = shortHelp.substr(0, shortHelp.find_last_of(L'\\') + 1) + L"ovenix.chm";
  ASSERT_TRUE(IsAnsiRepresentable(shortHelp)) << "short names should be plain ASCII";

  ShowHelp(nullptr, L"HELPIntegrationSettings");
  ASSERT_EQ(2u, g_calls.size());
  EXPECT_EQ(program.Join(L"ovenix.chm") + L"::/html/HELPIntegrationSettings.htm", g_calls[0].pathOrUrl);
  EXPECT_EQ(nullptr, g_calls[0].shown);
  EXPECT_EQ(shortHelp + L"::/html/HELPIntegrationSettings.htm", g_calls[1].pathOrUrl);
  EXPECT_NE(nullptr, g_calls[1].shown) << "the short path did not open";

  // The short path is kept for later requests.
  ShowHelp(nullptr, nullptr);
  ASSERT_EQ(3u, g_calls.size());
  EXPECT_EQ(shortHelp, g_calls[2].pathOrUrl);
  EXPECT_NE(nullptr, g_calls[2].shown);
}

TEST_F(HelpViewer, RetryWithoutAShortPathHappensOnlyOnce) {
  // A program path that has no short form (here: it does not exist, so GetShortPathNameW fails,
  // as the long path comes back on a volume without short names): the second call uses the same
  // long path, fails too, and later requests are not retried.
  TempFolder program(kNonAnsiFolder);
  g_failNonAnsiPaths = true;
  const std::wstring absentProgram = program.Join(L"absent\\uninstall.exe");
  hooks_.programPath = absentProgram.c_str();
  SetHelpTestHooks(&hooks_);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  ASSERT_EQ(2u, g_calls.size());
  EXPECT_EQ(g_calls[0].pathOrUrl, g_calls[1].pathOrUrl);
  EXPECT_EQ(nullptr, g_calls[1].shown);
  ShowHelp(nullptr, L"HELPIntegrationSettings");
  EXPECT_EQ(3u, g_calls.size());
}

}  // namespace
