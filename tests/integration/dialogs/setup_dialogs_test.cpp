// The three setup dialogs, run modally on the test's main thread and driven from a second thread
// the way a user drives them: clicks (BM_CLICK), keys' commands and text, all through window
// messages. The registry is private (PrivateRegistry); confirming "SETUPDLG" runs the real
// integration into it, with every shortcut switched off so the prefix's shell folders stay as
// they are.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/handles.h"
#include "base/run_state.h"
#include "integration/default_apps.h"
#include "integration/default_apps_test_seam.h"
#include "integration/dialogs/setup_dialogs.h"
#include "integration/integration_settings.h"
#include "localization/help_test_seam.h"
#include "localization/language.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/ini_store.h"
#include "settings/registry_test_seam.h"
#include "support/language_file.h"
#include "support/private_registry.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

namespace {

constexpr DWORD kWaitMs = 10000;
const wchar_t kOvenixKey[] = L"Software\\Ovenix";
const wchar_t kSetupKey[] = L"Software\\Ovenix\\Setup";
const wchar_t kMenuItemsRegKey[] = L"Software\\Ovenix\\Setup\\MenuItems";
const wchar_t kUninstallRegKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver";

// The 17 association boxes in ArchiveTypes order.
std::vector<int> AssociationBoxes() {
  std::vector<int> boxes;
  for (const ArchiveType& type : ArchiveTypes) boxes.push_back(type.checkBox);
  return boxes;
}

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

std::wstring ControlText(HWND dialog, int control) {
  wchar_t text[4096] = L"<sentinel>";
  GetDlgItemTextW(dialog, control, text, 4096);
  return text;
}

// Clicks a control from the driver thread and returns when its handling is done.
void Click(HWND dialog, int control) { SendMessageW(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }
// Clicks without waiting: for buttons that open a nested modal dialog.
void ClickLater(HWND dialog, int control) { PostMessageW(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }

struct ThreadDialogSearch {
  int markerControl;
  HWND exclude;
  HWND found;
};

// A visible dialog of the thread that has the marker control (5125 marks "SETUPDLG", 121
// "SETUPCONTEXTITEMS", 5102 "DONEDLG").
HWND FindThreadDialog(DWORD threadId, int markerControl, HWND exclude = nullptr) {
  ThreadDialogSearch search{markerControl, exclude, nullptr};
  EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* s = reinterpret_cast<ThreadDialogSearch*>(parameter);
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        // "SETUPDLG" has controls with every ID of "DONEDLG": that one is 5102 without 5125.
        const bool excluded = s->markerControl == IDC_INSTFOLDER && GetDlgItem(window, IDC_INSTHELPTEXT);
        if (window != s->exclude && wcscmp(className, L"#32770") == 0 && IsWindowVisible(window) &&
            GetDlgItem(window, s->markerControl) && !excluded) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForThreadDialog(DWORD threadId, int markerControl, HWND exclude = nullptr) {
  HWND dialog = nullptr;
  WaitUntil([&] { return (dialog = FindThreadDialog(threadId, markerControl, exclude)) != nullptr; }, kWaitMs);
  return dialog;
}

// Runs the named dialog modally on this thread while driver(dialog) acts from a second thread.
// Whatever the driver leaves open is cancelled afterwards, so a failing test cannot hang.
INT_PTR RunDrivenDialog(const wchar_t* name, DLGPROC procedure, int markerControl,
                        const std::function<void(HWND)>& driver, LPARAM initParameter = 0) {
  const DWORD threadId = GetCurrentThreadId();
  std::atomic<bool> dialogSeen{false}, dialogEnded{false};
  std::thread driverThread([&] {
    HWND dialog = nullptr;
    WaitUntil([&] { return dialogEnded || (dialog = FindThreadDialog(threadId, markerControl)) != nullptr; }, kWaitMs);
    if (!dialog) return;
    dialogSeen = true;
    driver(dialog);
    // Close anything still open, nested dialogs first.
    for (int round = 0; round < 20; ++round) {
      HWND open = nullptr;
      for (int marker : {121, 5125, 5102})
        if (!open) open = FindThreadDialog(threadId, marker);
      if (!open) break;
      PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
      Sleep(100);
    }
  });
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), name, nullptr, procedure, initParameter);
  dialogEnded = true;
  driverThread.join();
  EXPECT_TRUE(dialogSeen || RunOptions.Silent) << "the dialog never became visible";
  return result;
}

class SetupDialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { richEdit_.reset(LoadLibraryW(L"riched20.dll")); }
  static void TearDownTestSuite() {
    richEdit_.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(richEdit_.valid()) << "riched20.dll must load for the settings dialog";
    RunOptions = RunOptionsRecord{};
    ExitCode = 0;
    ProgramGroupFolder[0] = L'\0';
    ResourceModule = GetModuleHandleW(nullptr);
    // Shortcuts are switched off in every confirmed setup of this file: the shell folders of the
    // prefix are not ours to change here (the end-to-end scenarios cover them).
    wcscpy(RunOptions.InitSelection, L"d0m0p0");
  }
  void TearDown() override {
    RunOptions = RunOptionsRecord{};
    ExitCode = 0;
  }

  static UniqueModule richEdit_;
  PrivateRegistry registry_;
};
UniqueModule SetupDialogsTest::richEdit_;

// ---- ShowSettings / ReadSettings ------------------------------------------------------------

struct FieldCase {
  const char* name;
  size_t position;  // position in the 26-byte record
  int control;
};

std::vector<FieldCase> FieldCases() {
  std::vector<FieldCase> cases;
  for (const ArchiveType& type : ArchiveTypes)
    cases.push_back({"Associate", static_cast<size_t>(type.index), type.checkBox});
  cases.push_back({"Desktop", 20, IDC_LINKDESKTOP});
  cases.push_back({"StartMenu", 21, IDC_LINKSTARTMENU});
  cases.push_back({"Programs", 22, IDC_LINKPROGRAMS});
  cases.push_back({"ShellExt", 23, IDC_SHELLEXT});
  cases.push_back({"CascadedMenu", 24, IDC_SHELLCASCADED});
  cases.push_back({"MenuIcons", 25, IDC_SHELLICONS});
  return cases;
}

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A modeless dialog for the tests that only read and write its controls.
class UniqueWindow {
 public:
  explicit UniqueWindow(HWND window) : window_(window) {}
  ~UniqueWindow() {
    if (window_) DestroyWindow(window_);
  }
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

TEST_F(SetupDialogsTest, EachFieldShowsInItsOwnBoxAndReadsBack) {
  UniqueWindow dialog(CreateDialogParamW(GetModuleHandleW(nullptr), kSetupDialogName, nullptr, PassiveDialogProc, 0));
  ASSERT_TRUE(dialog.get()) << "CreateDialogParamW(SETUPDLG) failed, error " << GetLastError();
  const std::vector<FieldCase> cases = FieldCases();
  for (const FieldCase& field : cases) {
    IntegrationSettings shown{};
    reinterpret_cast<unsigned char*>(&shown)[field.position] = 1;
    ShowSettings(dialog.get(), shown);
    for (const FieldCase& other : cases)
      EXPECT_EQ(other.control == field.control, Checked(dialog.get(), other.control))
          << "field " << field.name << " at " << field.position << ": box " << other.control;

    IntegrationSettings read;
    std::memset(&read, 0xEE, sizeof read);  // sentinel: the spare positions must keep it
    ReadSettings(dialog.get(), read);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&read);
    for (size_t position = 0; position < sizeof read; ++position) {
      const bool spare = position >= kArchiveTypeCount && position < kAssociateSlots;
      const unsigned expected = spare ? 0xEE : (position == field.position ? 1 : 0);
      EXPECT_EQ(expected, bytes[position]) << "after showing only " << field.name << " at " << field.position
                                           << ", position " << position;
    }
  }
}

TEST_F(SetupDialogsTest, ShellOptionsAreEnabledOnlyWithTheShellExtension) {
  UniqueWindow dialog(CreateDialogParamW(GetModuleHandleW(nullptr), kSetupDialogName, nullptr, PassiveDialogProc, 0));
  ASSERT_TRUE(dialog.get());
  for (unsigned char shellExt : {0, 1, 0}) {
    IntegrationSettings settings{};
    settings.ShellExt = shellExt;
    settings.CascadedMenu = 1;
    settings.MenuIcons = 1;
    ShowSettings(dialog.get(), settings);
    EXPECT_EQ(shellExt != 0, IsWindowEnabled(GetDlgItem(dialog.get(), IDC_SHELLCASCADED)) != FALSE) << +shellExt;
    EXPECT_EQ(shellExt != 0, IsWindowEnabled(GetDlgItem(dialog.get(), IDC_SHELLICONS)) != FALSE) << +shellExt;
    EXPECT_TRUE(Checked(dialog.get(), IDC_SHELLCASCADED) && Checked(dialog.get(), IDC_SHELLICONS))
        << "disabled boxes keep their marks";
  }
}

// ---- The explanatory text --------------------------------------------------------------------

// Strings 5120 to 5125 from a language file, one short word each, so that the composed text is
// known exactly: three blanks, " One" to " Five", then "\r\n", four blanks and "Six".
constexpr wchar_t kExplanationPieces[] =
    L":STRINGS\r\nIDS_INSTHELP1 One\r\nIDS_INSTHELP2 Two\r\nIDS_INSTHELP3 Three\r\nIDS_INSTHELP4 Four\r\n"
    L"IDS_INSTHELP5 Five\r\nIDS_INSTHELP6 Six\r\n";
constexpr wchar_t kComposedExplanation[] = L"    One Two Three Four Five\r\n    Six";

TEST_F(SetupDialogsTest, ExplanationIsComposedFromSixStrings) {
  ScopedLanguageFile pieces(kExplanationPieces);
  ASSERT_TRUE(pieces.loaded());
  wchar_t buffer[kSetupExplanationCapacity];
  EXPECT_EQ(std::wstring(kComposedExplanation), ComposeSetupExplanation(buffer, kSetupExplanationCapacity));
}

TEST_F(SetupDialogsTest, ExplanationIsCutAtTheBufferAndNeverPastIt) {
  ScopedLanguageFile pieces(kExplanationPieces);
  ASSERT_TRUE(pieces.loaded());
  const std::wstring full = kComposedExplanation;
  for (size_t capacity : {size_t{0}, size_t{1}, size_t{2}, size_t{4}, size_t{10}, full.size(), full.size() + 1,
                          full.size() + 2}) {
    std::vector<wchar_t> buffer(full.size() + 16, L'#');
    ComposeSetupExplanation(buffer.data(), capacity);
    if (capacity == 0) {
      EXPECT_EQ(L'#', buffer[0]) << "capacity 0 writes nothing";
      continue;
    }
    const size_t kept = capacity - 1 < full.size() ? capacity - 1 : full.size();
    EXPECT_EQ(full.substr(0, kept), std::wstring(buffer.data())) << "capacity " << capacity;
    for (size_t i = capacity; i < buffer.size(); ++i)
      ASSERT_EQ(L'#', buffer[i]) << "written past the capacity " << capacity << " at " << i;
  }
}

// Long pieces from a language file overflow the 4096 characters; a cut inside a surrogate pair
// drops the lone high surrogate.
TEST_F(SetupDialogsTest, OverlongLanguageTextsAreCutAtTheLastWholeCharacter) {
  std::wstring file = L":STRINGS\r\n";
  std::wstring pieces[6];
  for (int i = 0; i < 6; ++i) pieces[i] = std::wstring(1023, static_cast<wchar_t>(L'a' + i));
  // The cut falls after 4095 characters: "   ", three blank+piece runs of 1024 and one blank
  // leave 1019 characters of piece 4, whose last kept character is made a high surrogate.
  pieces[3] = std::wstring(1018, L'd') + L"\xD83D\xDE00" + std::wstring(3, L'd');
  for (int i = 0; i < 6; ++i) file += L"IDS_INSTHELP" + std::to_wstring(i + 1) + L" " + pieces[i] + L"\r\n";
  ScopedLanguageFile language(file);
  ASSERT_TRUE(language.loaded());
  ASSERT_EQ(pieces[3], LocalizedString(IDS_INSTHELP4)) << "the language file was not read as expected";

  std::vector<wchar_t> buffer(kSetupExplanationCapacity + 64, L'#');
  ComposeSetupExplanation(buffer.data(), kSetupExplanationCapacity);
  std::wstring expected = L"   ";
  for (int i = 0; i < 5; ++i) expected += L" " + pieces[i];
  expected = expected.substr(0, kSetupExplanationCapacity - 2);  // 4094: the high surrogate dropped
  EXPECT_EQ(expected.size(), wcslen(buffer.data()));
  EXPECT_EQ(expected, std::wstring(buffer.data()));
  for (size_t i = kSetupExplanationCapacity; i < buffer.size(); ++i) ASSERT_EQ(L'#', buffer[i]) << i;
}

// ---- "SETUPDLG" driven ---------------------------------------------------------------------

TEST_F(SetupDialogsTest, SettingsDialogShowsStoredChoicesWithTheInitSelectionAndExplanation) {
  SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.cab", L"Set", 0);
  SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"CascadedMenu", 1);
  wcscpy(RunOptions.InitSelection, L"a01d1");  // .vok off, .zip on, desktop on
  std::vector<std::pair<int, bool>> seen;
  std::wstring explanation;
  bool foreground = false;
  HICON icon = nullptr;
  COLORREF background = CLR_INVALID;
  const HICON programIcon = g_programIcon;
  g_programIcon = LoadIconW(GetModuleHandleW(nullptr), L"VOKICON");
  const HICON expectedIcon = g_programIcon;
  ScopedLanguageFile pieces(kExplanationPieces);
  ASSERT_TRUE(pieces.loaded());
  const INT_PTR result = RunDrivenDialog(kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, [&](HWND dialog) {
    for (int control : {IDC_ASSOCVOK, IDC_ASSOCZIP, IDC_ASSOCCAB, IDC_ASSOCJAR, IDC_ASSOCISO, IDC_LINKDESKTOP,
                        IDC_LINKSTARTMENU, IDC_LINKPROGRAMS, IDC_SHELLEXT, IDC_SHELLCASCADED, IDC_SHELLICONS})
      seen.push_back({control, Checked(dialog, control)});
    explanation = ControlText(dialog, IDC_INSTHELPTEXT);
    foreground = GetForegroundWindow() == dialog;
    icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
    // EM_SETBKGNDCOLOR answers the colour it replaces: the one set at initialisation.
    background = static_cast<COLORREF>(
        SendDlgItemMessageW(dialog, IDC_INSTHELPTEXT, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  g_programIcon = programIcon;
  EXPECT_EQ(0, result);
  const std::vector<std::pair<int, bool>> expected = {
      {IDC_ASSOCVOK, false},      {IDC_ASSOCZIP, true},       {IDC_ASSOCCAB, false},
      {IDC_ASSOCJAR, false},      {IDC_ASSOCISO, true},       {IDC_LINKDESKTOP, true},
      {IDC_LINKSTARTMENU, false}, {IDC_LINKPROGRAMS, true},   {IDC_SHELLEXT, true},
      {IDC_SHELLCASCADED, true},  {IDC_SHELLICONS, true}};
  EXPECT_EQ(expected, seen);
  // The rich-edit box keeps paragraphs as a single CR; compare the first paragraph.
  EXPECT_EQ(L"    One Two Three Four Five", explanation.substr(0, explanation.find(L'\r')));
  EXPECT_TRUE(foreground);
  EXPECT_NE(nullptr, expectedIcon);
  EXPECT_EQ(expectedIcon, icon);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), background);
}

TEST_F(SetupDialogsTest, SelectAllChecksEveryBoxWhileOneIsClearAndClearsWhenAllAreChecked) {
  std::vector<std::vector<bool>> states;
  const std::vector<int> boxes = AssociationBoxes();
  auto record = [&](HWND dialog) {
    std::vector<bool> state;
    for (int box : boxes) state.push_back(Checked(dialog, box));
    states.push_back(state);
  };
  RunDrivenDialog(kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, [&](HWND dialog) {
    record(dialog);  // empty store: all but ".jar"
    Click(dialog, IDC_ASSOCALL);
    record(dialog);
    Click(dialog, IDC_ASSOCALL);
    record(dialog);
    Click(dialog, IDC_ASSOCALL);
    record(dialog);
    Click(dialog, IDC_ASSOCTAR);  // one cleared by hand
    Click(dialog, IDC_ASSOCALL);
    record(dialog);
  });
  ASSERT_EQ(5u, states.size());
  const std::vector<bool> all(boxes.size(), true), none(boxes.size(), false);
  std::vector<bool> initial = all;
  initial[11] = false;  // ".jar" is not pre-selected unless the archiver owns it
  EXPECT_EQ(initial, states[0]);
  EXPECT_EQ(all, states[1]);
  EXPECT_EQ(none, states[2]);
  EXPECT_EQ(all, states[3]);
  EXPECT_EQ(all, states[4]);
}

TEST_F(SetupDialogsTest, ClearingTheShellExtensionDisablesItsOptionsButKeepsAndSavesTheirMarks) {
  struct Seen {
    bool shellExt, cascadedEnabled, iconsEnabled, cascaded, icons;
  };
  std::vector<Seen> seen;
  auto record = [&](HWND dialog) {
    seen.push_back({Checked(dialog, IDC_SHELLEXT), IsWindowEnabled(GetDlgItem(dialog, IDC_SHELLCASCADED)) != FALSE,
                    IsWindowEnabled(GetDlgItem(dialog, IDC_SHELLICONS)) != FALSE, Checked(dialog, IDC_SHELLCASCADED),
                    Checked(dialog, IDC_SHELLICONS)});
  };
  const INT_PTR result = RunDrivenDialog(kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, [&](HWND dialog) {
    Click(dialog, IDC_SHELLCASCADED);  // on, while enabled
    Click(dialog, IDC_SHELLEXT);       // off
    record(dialog);
    Click(dialog, IDC_SHELLEXT);  // on again
    record(dialog);
    Click(dialog, IDC_SHELLEXT);  // off, and confirm
    Click(dialog, IDOK);
  });
  ASSERT_EQ(2u, seen.size());
  EXPECT_FALSE(seen[0].shellExt);
  EXPECT_FALSE(seen[0].cascadedEnabled);
  EXPECT_FALSE(seen[0].iconsEnabled);
  EXPECT_TRUE(seen[0].cascaded && seen[0].icons) << "disabled boxes keep their marks";
  EXPECT_TRUE(seen[1].shellExt && seen[1].cascadedEnabled && seen[1].iconsEnabled);
  EXPECT_EQ(1, result);
  EXPECT_EQ(0u, ExitCode);
  EXPECT_EQ(0u, RegDword(HKEY_CURRENT_USER, kSetupKey, L"ShellExt"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, kSetupKey, L"CascadedMenu"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, kSetupKey, L"MenuIcons"));
}

// Confirming saves the record, applies the integration and writes the uninstall entry unless the
// installation belongs to a Windows Installer package; silent setup confirms by itself. An
// integration that stops at a refused write (Wine's registry refuses nothing: the test seam does)
// writes no entry and ends the run with 5.
struct ConfirmCase {
  const char* name;
  bool silent;
  bool msi;
  bool progIdsRefused = false;
};
void PrintTo(const ConfirmCase& c, std::ostream* os) { *os << c.name; }

class ConfirmTest : public SetupDialogsTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(ConfirmTest, ConfirmedSetupSavesAppliesAndRegisters) {
  const ConfirmCase& c = GetParam();
  RunOptions.Silent = c.silent;
  RunOptions.MsiMode = c.msi;
  wcscpy(RunOptions.InitSelection, L"a101d0m0p0");  // .vok and .cab, not .zip; no shortcuts
  SetRegString(HKEY_CLASSES_ROOT, L".ace", L"", L"Ovenix");
  // The ShellNew data file is written beside the running program: this test program's folder.
  const std::wstring dataFile = OwnModuleFolder() + L"\\voknew.dat";
  const bool dataFileExisted = FileExists(dataFile);
  // The first ProgID write: the associations come before it, the shortcuts after.
  if (c.progIdsRefused) FailRegistryWritesToKey(HKEY_CLASSES_ROOT, L"Ovenix");
  const INT_PTR result = RunDrivenDialog(kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, [&](HWND dialog) {
    if (!c.silent) Click(dialog, IDOK);
  });
  FailRegistryWritesToKey(nullptr, nullptr);
  EXPECT_EQ(c.progIdsRefused ? kSetupStoppedAtRefusedWrite : 1, result);
  EXPECT_EQ(c.progIdsRefused ? 5u : 0u, ExitCode);
  EXPECT_EQ(!c.progIdsRefused, RegKeyExists(HKEY_CLASSES_ROOT, L"Ovenix\\shell\\open\\command"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.vok", L"Set"));
  EXPECT_EQ(0u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.zip", L"Set"));
  EXPECT_EQ(0u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\Links", L"Desktop"));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".vok", L""));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".cab", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".zip"));
  EXPECT_NE(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".ace", L"")) << "\".ace\" is released after setup";
  EXPECT_EQ(!c.msi && !c.progIdsRefused, RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallRegKey));
  EXPECT_EQ(L"", std::wstring(ProgramGroupFolder)) << "no program group was asked for";
  EXPECT_EQ(dataFile, RegString(HKEY_CLASSES_ROOT, L".vok\\ShellNew", L"FileName"));
  if (!dataFileExisted) DeleteFileW(dataFile.c_str());
}

INSTANTIATE_TEST_SUITE_P(Modes, ConfirmTest,
                         ::testing::Values(ConfirmCase{"clicked", false, false}, ConfirmCase{"silent", true, false},
                                           ConfirmCase{"msi", false, true}, ConfirmCase{"silentMsi", true, true},
                                           ConfirmCase{"refusedClicked", false, false, true},
                                           ConfirmCase{"refusedSilent", true, false, true}),
                         [](const ::testing::TestParamInfo<ConfirmCase>& info) { return info.param.name; });

TEST_F(SetupDialogsTest, CancelAfterConfirmedItemsKeepsTheItemsAppliesNothingAndSetsExitCode1) {
  const std::vector<std::wstring> classesBefore = SnapshotRegistry(HKEY_CLASSES_ROOT, L"");
  const std::vector<std::wstring> machineBefore = SnapshotRegistry(HKEY_LOCAL_MACHINE, L"");
  bool itemsSeen = false;
  const INT_PTR result = RunDrivenDialog(kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, [&](HWND dialog) {
    ClickLater(dialog, IDC_SETCONTEXTMENU);
    HWND items = WaitForThreadDialog(GetWindowThreadProcessId(dialog, nullptr), IDC_CONTEXTALWAYSARC);
    if (!items) return;
    itemsSeen = GetWindow(items, GW_OWNER) == dialog;
    Click(items, IDC_CONTEXTTEST);
    Click(items, IDOK);
    WaitUntil([&] { return !IsWindow(items); }, kWaitMs);
    Click(dialog, IDC_ASSOCALL);  // a change that cancel must forget
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(itemsSeen) << "the items dialog did not open with the settings dialog as its owner";
  EXPECT_EQ(0, result);
  EXPECT_EQ(1u, ExitCode);
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, kMenuItemsRegKey, L"Test"));
  EXPECT_EQ(L"*.iso", RegString(HKEY_CURRENT_USER, kMenuItemsRegKey, L"AlwaysArc"));
  // Nothing else: the settings were not saved, no association, no uninstall entry, no App Paths.
  std::vector<std::wstring> otherValues;
  for (const std::wstring& line : SnapshotRegistry(HKEY_CURRENT_USER, kSetupKey))
    if (line.find(L" : ") != std::wstring::npos && line.find(L"MenuItems") == std::wstring::npos)
      otherValues.push_back(line);
  EXPECT_EQ(L"", JoinLines(otherValues));
  EXPECT_EQ(L"", JoinLines(LinesAdded(classesBefore, SnapshotRegistry(HKEY_CLASSES_ROOT, L""))));
  EXPECT_EQ(L"", JoinLines(LinesAdded(machineBefore, SnapshotRegistry(HKEY_LOCAL_MACHINE, L""))));
}

// A settings file that comes into use only when setup is confirmed (the installer's, handed over
// then) receives the record, the saved previous owners and the items stored before; the registry
// keeps none of them.
std::wstring g_handedOverFile;
unsigned g_beforeSavingCalls = 0;
void LoadHandedOverFile() {
  ++g_beforeSavingCalls;
  EXPECT_TRUE(g_iniStore.LoadFile(g_handedOverFile.c_str()));
}

TEST_F(SetupDialogsTest, ItemsStoredBeforeASettingsFileCameIntoUseMoveIntoIt) {
  TempFolder folder(L"handed over");
  g_handedOverFile = folder.Join(L"Ovenix.ini");
  ASSERT_TRUE(WriteFileBytes(g_handedOverFile, "HKCU\\Setup\\MenuItems\\Test=0\r\nHKCU\\General\\Kept=1\r\n"));
  ASSERT_FALSE(g_iniStore.loaded());
  struct StoreRelease {
    ~StoreRelease() { g_iniStore.Release(); }  // nothing written back into the temporary folder
  } storeRelease;
  // The ShellNew data files are written beside the running program: this test program's folder.
  std::vector<std::wstring> newDataFiles;
  for (const wchar_t* name : {L"\\voknew.dat", L"\\zipnew.dat"})
    if (!FileExists(OwnModuleFolder() + name)) newDataFiles.push_back(OwnModuleFolder() + name);
  SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"CABFolder");
  g_beforeSavingCalls = 0;
  const SetupDialogParameters parameters = {&LoadHandedOverFile};
  const INT_PTR result = RunDrivenDialog(
      kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT,
      [&](HWND dialog) {
        ClickLater(dialog, IDC_SETCONTEXTMENU);
        HWND items = WaitForThreadDialog(GetWindowThreadProcessId(dialog, nullptr), IDC_CONTEXTALWAYSARC);
        if (!items) return;
        Click(items, IDC_CONTEXTTEST);
        Click(items, IDOK);
        WaitUntil([&] { return !IsWindow(items); }, kWaitMs);
        Click(dialog, IDOK);
      },
      reinterpret_cast<LPARAM>(&parameters));
  EXPECT_EQ(1, result);
  EXPECT_EQ(1u, g_beforeSavingCalls);
  auto entry = [](const wchar_t* name) {
    const wchar_t* value = g_iniStore.Lookup(name);
    return std::wstring(value ? value : L"<missing>");
  };
  EXPECT_EQ(L"1", entry(L"HKCU\\Setup\\MenuItems\\Test")) << "the item confirmed in the dialog wins";
  EXPECT_EQ(L"*.iso", entry(L"HKCU\\Setup\\MenuItems\\AlwaysArc"));
  EXPECT_EQ(L"1", entry(L"HKCU\\General\\Kept"));
  EXPECT_EQ(L"1", entry(L"HKCU\\Setup\\ShellExt"));
  EXPECT_EQ(L"CABFolder", entry(L"HKCU\\Setup\\.cab\\Type"));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".cab", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kOvenixKey))
      << JoinLines(SnapshotRegistry(HKEY_CURRENT_USER, kOvenixKey)).c_str();
  for (const std::wstring& file : newDataFiles) DeleteFileW(file.c_str());
}

// ---- "SETUPCONTEXTITEMS" driven --------------------------------------------------------------

TEST_F(SetupDialogsTest, ItemsDialogShowsDefaultsAndStoresEveryItemAtOnce) {
  std::vector<bool> shown;
  std::wstring masks;
  bool masksReadLeftToRight = false;
  const INT_PTR result =
      RunDrivenDialog(kContextItemsDialogName, ContextItemsDialogProc, IDC_CONTEXTALWAYSARC, [&](HWND dialog) {
        for (const ContextMenuItem& item : ContextMenuItems) shown.push_back(Checked(dialog, item.checkBox));
        masks = ControlText(dialog, IDC_CONTEXTALWAYSARC);
        masksReadLeftToRight =
            (GetWindowLongW(GetDlgItem(dialog, IDC_CONTEXTALWAYSARC), GWL_EXSTYLE) & WS_EX_RTLREADING) == 0;
        Click(dialog, IDC_CONTEXTEXTRACTTO);  // off
        Click(dialog, IDC_CONTEXTCONVERT);    // on
        SendDlgItemMessageW(dialog, IDC_CONTEXTALWAYSARC, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(L"*.img;*.iso"));
        Click(dialog, IDOK);
      });
  EXPECT_EQ(1, result);
  ASSERT_EQ(kContextMenuItemCount, shown.size());
  for (size_t i = 0; i < kContextMenuItemCount; ++i) {
    const ContextMenuItem& item = ContextMenuItems[i];
    EXPECT_EQ(item.defaultValue != 0, shown[i]) << "shown default of " << std::string(item.valueName, item.valueName + wcslen(item.valueName));
    DWORD expected = item.defaultValue;
    if (item.checkBox == IDC_CONTEXTEXTRACTTO) expected = 0;
    if (item.checkBox == IDC_CONTEXTCONVERT) expected = 1;
    EXPECT_EQ(expected, RegDword(HKEY_CURRENT_USER, kMenuItemsRegKey, item.valueName))
        << "stored " << std::string(item.valueName, item.valueName + wcslen(item.valueName));
  }
  EXPECT_EQ(L"*.iso", masks);
  EXPECT_TRUE(masksReadLeftToRight);
  EXPECT_EQ(L"*.img;*.iso", RegString(HKEY_CURRENT_USER, kMenuItemsRegKey, L"AlwaysArc"));
}

TEST_F(SetupDialogsTest, ItemsDialogShowsStoredValuesAndCancelStoresNothing) {
  SetRegDword(HKEY_CURRENT_USER, kMenuItemsRegKey, L"Test", 1);
  SetRegDword(HKEY_CURRENT_USER, kMenuItemsRegKey, L"NewZIP", 0);
  SetRegString(HKEY_CURRENT_USER, kMenuItemsRegKey, L"AlwaysArc", L"*.bin");
  const std::vector<std::wstring> before = SnapshotRegistry(HKEY_CURRENT_USER, kOvenixKey);
  bool test = false, newZip = true;
  std::wstring masks;
  const INT_PTR result =
      RunDrivenDialog(kContextItemsDialogName, ContextItemsDialogProc, IDC_CONTEXTALWAYSARC, [&](HWND dialog) {
        test = Checked(dialog, IDC_CONTEXTTEST);
        newZip = Checked(dialog, IDC_CONTEXTNEWZIP);
        masks = ControlText(dialog, IDC_CONTEXTALWAYSARC);
        Click(dialog, IDC_CONTEXTTEST);
        SendDlgItemMessageW(dialog, IDC_CONTEXTALWAYSARC, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"changed"));
        Click(dialog, IDCANCEL);
      });
  EXPECT_EQ(0, result);
  EXPECT_TRUE(test);
  EXPECT_FALSE(newZip);
  EXPECT_EQ(L"*.bin", masks);
  EXPECT_EQ(JoinLines(before), JoinLines(SnapshotRegistry(HKEY_CURRENT_USER, kOvenixKey)));
}

// ---- "DONEDLG" driven ------------------------------------------------------------------------

TEST_F(SetupDialogsTest, CompletionDialogShowsTheCurrentFolderInTheBoldThanks) {
  TempFolder folder(L"done dlg \x00E9");
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
  const HFONT boldFont = g_boldDialogFont;
  UniqueGdiObject font(CreateFontW(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"MS Shell Dlg"));
  g_boldDialogFont = static_cast<HFONT>(font.get());
  std::wstring shown;
  HFONT thanksFont = nullptr;
  HICON icon = nullptr;
  const HICON programIcon = g_programIcon;
  g_programIcon = LoadIconW(GetModuleHandleW(nullptr), L"VOKICON");
  const HICON expectedIcon = g_programIcon;
  const INT_PTR result = RunDrivenDialog(kDoneDialogName, DoneDialogProc, IDC_INSTFOLDER, [&](HWND dialog) {
    shown = ControlText(dialog, IDC_INSTFOLDER);
    icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0));
    thanksFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, IDC_THANKS, WM_GETFONT, 0, 0));
    PostMessageW(dialog, WM_CLOSE, 0, 0);  // the close box ends it like OK
  });
  g_boldDialogFont = boldFont;
  g_programIcon = programIcon;
  SetCurrentDirectoryW(previous);
  EXPECT_NE(nullptr, expectedIcon);
  EXPECT_EQ(expectedIcon, icon);
  EXPECT_EQ(1, result);
  EXPECT_EQ(folder.path(), shown);
  EXPECT_EQ(static_cast<HFONT>(font.get()), thanksFont);
}

TEST_F(SetupDialogsTest, SilentCompletionDialogClosesAtOnce) {
  RunOptions.Silent = true;
  bool shown = false;  // the driver's closing would end a dialog left open with 1 all the same
  EXPECT_EQ(1, RunDrivenDialog(kDoneDialogName, DoneDialogProc, IDC_INSTFOLDER, [&](HWND) { shown = true; }));
  EXPECT_FALSE(shown) << "the silent completion dialog showed";
}

// ---- The offer of the Default apps page -------------------------------------------------------

TEST(DefaultAppsPage, SettingsFromWindows10ControlPanelOn6xNoneBefore) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
  const std::wstring control = std::wstring(system) + L"\\control.exe", none = L"<none>";
  const std::wstring page6x = L"/name Microsoft.DefaultPrograms /page pageDefaultProgram";
  struct Case {
    uint32_t version;
    bool perUser, found;
    std::wstring target, parameters;
    UINT question;
  } const cases[] = {
      {0x0A00, false, true, L"ms-settings:defaultapps?registeredAppMachine=Ovenix", none, IDS_DEFAULTAPPSQUESTION},
      {0x0A00, true, true, L"ms-settings:defaultapps?registeredAppUser=Ovenix", none, IDS_DEFAULTAPPSQUESTION},
      {0x0603, true, true, control, page6x, IDS_DEFAULTPROGRAMSQUESTION},
      {0x0600, false, true, control, page6x, IDS_DEFAULTPROGRAMSQUESTION},
      {0x0502, false, false, L"", none, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.version << " per user " << c.perUser);
    DefaultAppsPage page = {L"<sentinel>", L"<sentinel>", 1};
    EXPECT_EQ(c.found, DefaultAppsPageFor(c.version, c.perUser, page));
    EXPECT_EQ(c.target + L" " + c.parameters,
              std::wstring(page.target) + L" " + (page.parameters ? page.parameters : none));
    EXPECT_EQ(c.question, page.questionId);
  }
}

// The seam answers another program for ".zip" and ".tgz", whose classes are the archiver's (a
// choice in Windows, which Wine cannot keep), and nothing for the rest; it records what would open.
bool g_answerAnotherApp = true;
std::vector<std::wstring> g_opened;
HRESULT AnswerZipAndTgzElsewhere(ASSOCF, ASSOCSTR, const wchar_t* extension, const wchar_t*, wchar_t* answer, DWORD*) {
  if (!g_answerAnotherApp || (wcscmp(extension, L".zip") != 0 && wcscmp(extension, L".tgz") != 0))
    return HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION);
  wcscpy(answer, L"C:\\Other\\other.exe");
  return S_OK;
}
bool RecordOpened(const wchar_t* target, const wchar_t* parameters) {
  g_opened.push_back(std::wstring(target) + L" " + (parameters ? parameters : L"<none>"));
  return true;
}

TEST_F(SetupDialogsTest, TheOfferCountsTheExtensionsChosenInWindowsAndYesOpensThePage) {
  struct Case {
    const char* label;
    bool silent, msi, anotherApp;
    int click;  // the button the user presses
    bool boxShown, opened;
  } const cases[] = {{"yes", false, false, true, IDYES, true, true},
                     {"no", false, false, true, IDNO, true, false},
                     {"silent", true, false, true, IDYES, false, false},
                     {"msi", false, true, true, IDYES, false, false},
                     {"none chosen in Windows", false, false, false, IDYES, false, false}};
  DefaultAppsTestHooks hooks;
  hooks.queryAssociation = AnswerZipAndTgzElsewhere;
  hooks.open = RecordOpened;
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"Ovenix.ZIP"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".tgz", L"", L"Ovenix"));
  IntegrationSettings chosen = {};
  for (int type : {kVokTypeIndex, kZipTypeIndex, 8}) chosen.Associate[type] = 1;  // ".vok", ".zip", ".gz" ".tgz"
  ScopedLanguageFile texts(
      L":STRINGS\r\nIDS_DEFAULTAPPSCOUNT \"%s elsewhere.\"\r\nIDS_DEFAULTPROGRAMSQUESTION Open?\r\n");
  ASSERT_TRUE(texts.loaded());
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RunOptions.Silent = c.silent;
    RunOptions.MsiMode = c.msi;
    g_answerAnotherApp = c.anotherApp;
    g_opened.clear();
    SetDefaultAppsTestHooks(&hooks);
    CheckWhatOpensChosenExtensions(chosen);
    const DWORD threadId = GetCurrentThreadId();
    std::atomic<bool> offerEnded{false};
    std::wstring shown = L"<no box>";
    std::thread user([&] {
      HWND box = nullptr;
      WaitUntil([&] { return offerEnded || (box = FindThreadDialog(threadId, IDYES)) != nullptr; }, kWaitMs);
      if (!box) return;
      shown = ControlText(box, 0xFFFF);  // the text of a message box
      PostMessageW(GetDlgItem(box, c.click), BM_CLICK, 0, 0);
    });
    OfferDefaultAppsPage();
    offerEnded = true;
    user.join();
    SetDefaultAppsTestHooks(nullptr);
    EXPECT_EQ(c.boxShown ? L"2 elsewhere.\n\nOpen?" : L"<no box>", shown);
    // Wine reports Windows 6.1: the control panel's page.
    const std::wstring page =
        std::wstring(system) + L"\\control.exe /name Microsoft.DefaultPrograms /page pageDefaultProgram";
    EXPECT_EQ(c.opened ? std::vector<std::wstring>{page} : std::vector<std::wstring>{}, g_opened);
  }
}

// ---- Help ------------------------------------------------------------------------------------

struct HelpCall {
  std::wstring target;
  UINT command;
};
std::vector<HelpCall> g_helpCalls;

HWND RecordHelp(HtmlHelpEntry, HWND, const wchar_t* pathOrUrl, UINT command, DWORD_PTR) {
  g_helpCalls.push_back({pathOrUrl ? pathOrUrl : L"", command});
  return GetDesktopWindow();  // "shown": no retry
}

struct HelpCase {
  const char* name;
  const wchar_t* dialogName;
  DLGPROC procedure;
  int marker;
  bool pressF1;  // otherwise click `control`
  int control;
  const wchar_t* expectedSuffix;  // nullptr: no help at all
  UINT expectedCommand;
};
void PrintTo(const HelpCase& c, std::ostream* os) { *os << c.name; }

class HelpTest : public SetupDialogsTest, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(HelpTest, HelpOpensTheDialogsTopic) {
  const HelpCase& c = GetParam();
  g_helpCalls.clear();
  HelpTestHooks hooks;
  hooks.htmlHelp = RecordHelp;
  SetHelpTestHooks(&hooks);
  RunDrivenDialog(c.dialogName, c.procedure, c.marker, [&](HWND dialog) {
    if (c.pressF1) {
      HELPINFO info = {};
      info.cbSize = sizeof info;
      info.iContextType = HELPINFO_WINDOW;
      info.hItemHandle = dialog;
      SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    } else {
      Click(dialog, c.control);
    }
    EXPECT_TRUE(IsWindow(dialog)) << "help must not close the dialog";
  });
  SetHelpTestHooks(nullptr);
  if (!c.expectedSuffix) {
    EXPECT_EQ(0u, g_helpCalls.size()) << "help was opened at " << std::string(g_helpCalls[0].target.begin(), g_helpCalls[0].target.end());
    return;
  }
  ASSERT_EQ(1u, g_helpCalls.size());
  const std::wstring& target = g_helpCalls[0].target;
  const std::wstring suffix = c.expectedSuffix;
  ASSERT_GE(target.size(), suffix.size());
  EXPECT_EQ(suffix, target.substr(target.size() - suffix.size()));
  EXPECT_EQ(c.expectedCommand, g_helpCalls[0].command);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, HelpTest,
    ::testing::Values(
        HelpCase{"SetupF1", kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, true, 0,
                 L"ovenix.chm::/html/HELPIntegrationSettings.htm", 0},
        HelpCase{"SetupButton", kSetupDialogName, SetupDialogProc, IDC_INSTHELPTEXT, false, IDHELP,
                 L"ovenix.chm::/html/HELPIntegrationSettings.htm", 0},
        HelpCase{"ItemsF1", kContextItemsDialogName, ContextItemsDialogProc, IDC_CONTEXTALWAYSARC, true, 0,
                 L"ovenix.chm::/html/HELPContextItems.htm", 0},
        HelpCase{"ItemsButton", kContextItemsDialogName, ContextItemsDialogProc, IDC_CONTEXTALWAYSARC, false, IDHELP,
                 L"ovenix.chm::/html/HELPContextItems.htm", 0},
        HelpCase{"DoneF1DoesNothing", kDoneDialogName, DoneDialogProc, IDC_INSTFOLDER, true, 0, nullptr, 0},
        HelpCase{"DoneViewHelp", kDoneDialogName, DoneDialogProc, IDC_INSTFOLDER, false, IDC_VIEWHELP, L"ovenix.chm",
                 1}),
    [](const ::testing::TestParamInfo<HelpCase>& info) { return info.param.name; });

}  // namespace
