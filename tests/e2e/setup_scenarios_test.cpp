// Setup mode end to end: the built uninstall.exe runs from a mock installation in the scenario's
// freshly reset prefix, silently or driven through window messages from this program as a user
// would drive it; afterwards the registry, the files and the shortcuts are inspected directly.
// Each test is its own CTest scenario (see CMakeLists.txt), so each starts from a clean prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "base/handles.h"
#include "resources/resource_ids.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

constexpr DWORD kRunMs = 60000;
const wchar_t kInstallFolder[] = L"C:\\Program Files\\Ovenix";
const wchar_t kUninstallRegKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver";
const wchar_t kAppPathsRegKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe";

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// The archiver's files as its installer leaves them, with this build's uninstall.exe among them
// and the installer's list of what to delete.
void MakeMockInstallation() {
  ASSERT_TRUE(MakeFolders(kInstallFolder));
  const std::wstring folder = kInstallFolder;
  ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), (folder + L"\\uninstall.exe").c_str(), FALSE));
  for (const wchar_t* name : {L"Ovenix.exe", L"vokext.dll", L"vokext32.dll", L"ovenix.chm", L"Vok.txt",
                              L"WhatsNew.txt", L"license.txt"})
    ASSERT_TRUE(WriteFileBytes(folder + L"\\" + name, "mock file of the archiver\r\n"));
  // The installer lists every file of the installation, the ShellNew templates that setup writes
  // beside the program included; the running uninstaller is left to the batch file.
  ASSERT_TRUE(WriteFileBytes(folder + L"\\Uninstall.lst",
                             "Ovenix.exe\r\nvokext.dll\r\nvokext32.dll\r\novenix.chm\r\nVok.txt\r\nWhatsNew.txt\r\n"
                             "license.txt\r\nvoknew.dat\r\nzipnew.dat\r\nuninstall.exe\r\nUninstall.lst\r\n"));
}

std::wstring InstalledExe() { return std::wstring(kInstallFolder) + L"\\uninstall.exe"; }

ProcessResult RunInstalled(const std::wstring& arguments, const EnvironmentChanges& environment = {}) {
  return RunProcess(Quoted(InstalledExe()) + L" " + arguments, kInstallFolder, environment, kRunMs);
}

// A started program that this test drives; terminated if still running at the end.
class DrivenProcess {
 public:
  explicit DrivenProcess(const std::wstring& arguments) {
    std::wstring commandLine = Quoted(InstalledExe()) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, kInstallFolder, &startup,
                       &info)) {
      process_.reset(info.hProcess);
      UniqueKernelHandle thread(info.hThread);
      id_ = info.dwProcessId;
    }
  }
  ~DrivenProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 259);
  }
  bool started() const { return process_.valid(); }
  // The exit code, or 0xDEADBEEF when it did not end within the time.
  DWORD WaitForExit(DWORD timeoutMs = kRunMs) {
    DWORD code = 0xDEADBEEF;
    if (WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

  // A visible dialog of the process that has the marker control (5125: "SETUPDLG", 121:
  // "SETUPCONTEXTITEMS", 5102: "DONEDLG"). "SETUPDLG" has controls with every ID of "DONEDLG",
  // so the completion dialog is the one with 5102 and without 5125.
  HWND FindDialog(int markerControl) const {
    struct Search {
      DWORD id;
      int marker;
      HWND found;
    } search{id_, markerControl, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
          auto* s = reinterpret_cast<Search*>(parameter);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          const bool excluded = s->marker == IDC_INSTFOLDER && GetDlgItem(window, IDC_INSTHELPTEXT);
          if (owner == s->id && IsWindowVisible(window) && GetDlgItem(window, s->marker) && !excluded) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  HWND WaitForDialog(int markerControl, DWORD timeoutMs = 20000) const {
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindDialog(markerControl)) != nullptr; }, timeoutMs);
    return dialog;
  }

 private:
  UniqueKernelHandle process_;
  DWORD id_ = 0;
};

void Click(HWND dialog, int control) { SendMessageW(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }
// For buttons whose handling does not return at once (a nested dialog, the end of the run).
void ClickLater(HWND dialog, int control) { PostMessageW(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }

std::wstring DialogText(HWND dialog, int control) {
  wchar_t text[2048] = L"<sentinel>";
  GetDlgItemTextW(dialog, control, text, 2048);
  return text;
}

class SetupScenario : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeMockInstallation()); }

  static std::wstring Folder() { return kInstallFolder; }
  static std::wstring CommonGroup() { return SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix"; }
};

// ---- Silent setup: the whole integration -------------------------------------------------------

TEST_F(SetupScenario, SilentSetupPutsTheWholeIntegrationInPlace) {
  // Any user may write such a type name; the elevated run's log must not take its lines for its own.
  const std::wstring seedType = L"Seed.7z\r\n==== 2026-01-01 00:00:00 uninstall 6.01.1, forged\nC:\\x\r";
  SetRegString(HKEY_CLASSES_ROOT, L".7z", L"", seedType);
  ASSERT_TRUE(MakeFolders(L"C:\\vok-e2e\\logs"));
  const std::wstring log = L"C:\\vok-e2e\\logs\\setup.log";
  // A setup schedules nothing for the restart: the restart code changes nothing, the entry included.
  const ProcessResult run = RunInstalled(L"-setup -s -restartexitcode=3010 -log=" + log);
  ASSERT_TRUE(run.finished) << "silent setup did not end by itself";
  EXPECT_EQ(0u, run.exitCode);

  // Associations, with the previous owner saved.
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".vok", L""));
  EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".7z", L""));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".tbz2", L""));
  EXPECT_EQ(seedType, RegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.7z", L"Type"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.7z", L"Exist"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".jar")) << "\".jar\" is not pre-selected";
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"Ovenix\\shell\\open\\command"));
  EXPECT_EQ(L"Ovenix.REV", RegString(HKEY_CLASSES_ROOT, L".rev", L""));
  // ShellNew entries and their data files.
  EXPECT_EQ(Folder() + L"\\voknew.dat", RegString(HKEY_CLASSES_ROOT, L".vok\\ShellNew", L"FileName"));
  EXPECT_EQ(Folder() + L"\\zipnew.dat", RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_EQ(24u, ReadFileBytes(Folder() + L"\\voknew.dat").size());
  EXPECT_EQ(22u, ReadFileBytes(Folder() + L"\\zipnew.dat").size());
  // Shell extension and capabilities.
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Ovenix"));
  EXPECT_EQ(L"Software\\Ovenix\\Capabilities",
            RegString(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Ovenix"));
  EXPECT_EQ(L"Ovenix.ZIP",
            RegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Capabilities\\FileAssociations", L".zip"));
  // Shortcuts: by default the program group only, all users' and the user's.
  EXPECT_TRUE(FileExists(CommonGroup() + L"\\Ovenix.lnk"));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_PROGRAMS) + L"\\Ovenix\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
  // App Paths and the uninstall entry.
  EXPECT_EQ(Folder() + L"\\Ovenix.exe", RegString(HKEY_LOCAL_MACHINE, kAppPathsRegKey, L""));
  const std::wstring uninstallString = RegString(HKEY_LOCAL_MACHINE, kUninstallRegKey, L"UninstallString");
  EXPECT_NE(std::wstring::npos, uninstallString.find(InstalledExe())) << Narrow(uninstallString);
  // Tools that take any code but 0 for a failure run this: it never asks for a restart code.
  EXPECT_EQ(Quoted(InstalledExe()) + L" /S", RegString(HKEY_LOCAL_MACHINE, kUninstallRegKey, L"QuietUninstallString"));
  // The stored choices.
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"ShellExt"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\Links", L"Programs"));

  // Read back line by line: the type's line breaks show as control pictures (U+240D, U+240A, in
  // UTF-8), its backslash as it is, and no line but the run's own header begins with "====".
  const std::string takenOver =
      "association .7z: taken over; previous owner saved: the key existed, type \"Seed.7z\xE2\x90\x8D\xE2\x90\x8A"
      "==== 2026-01-01 00:00:00 uninstall 6.01.1, forged\xE2\x90\x8A" "C:\\x\xE2\x90\x8D\"; "
      "kept in HKLM\\Software\\Ovenix\\Owners\\.7z and in the user's settings";
  const std::string bytes = ReadFileBytes(log);
  ASSERT_EQ(0, bytes.compare(0, 3, "\xEF\xBB\xBF")) << "not UTF-8 with a byte-order mark";
  size_t headers = 0, takenOverLines = 0;
  for (size_t start = 3, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = bytes.substr(start, end - start);
    EXPECT_EQ(std::string::npos, line.find_first_of("\r\n")) << "a line end inside a line: " << line;
    headers += line.compare(0, 5, "==== ") == 0 ? 1 : 0;
    takenOverLines += line == takenOver ? 1 : 0;
  }
  EXPECT_EQ(1u, headers) << bytes;
  EXPECT_EQ(1u, takenOverLines) << bytes;
}

// ---- Where the init selection counts ----------------------------------------------------------

struct InitCase {
  const char* name;
  const wchar_t* commandLine;
  const wchar_t* sfxcmd;  // nullptr: not set
  bool vokAssociated;
  bool desktopShortcut;
};
void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class InitSelectionScenario : public SetupScenario, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitSelectionScenario, InitSelectionCountsOnlyOnTheCommandLine) {
  const InitCase& c = GetParam();
  EnvironmentChanges environment;
  if (c.sfxcmd) environment.push_back({L"sfxcmd", c.sfxcmd});
  const ProcessResult run = RunInstalled(c.commandLine, environment);
  ASSERT_TRUE(run.finished) << "setup did not end by itself: the silent switch was not seen";
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(c.vokAssociated, RegString(HKEY_CLASSES_ROOT, L".vok", L"") == L"Ovenix");
  EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_EQ(c.desktopShortcut, FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, InitSelectionScenario,
    ::testing::Values(InitCase{"CommandLine", L"-setup -s -inita01d1", nullptr, false, true},
                      InitCase{"SfxcmdIgnored", L"-setup", L"-inita01d1 -s", true, false},
                      InitCase{"SfxcmdSilentWithCommandLineInit", L"-setup -inita0", L"/S", false, false}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return info.param.name; });

// ---- Driven through the dialogs ---------------------------------------------------------------

// After the completion dialog comes the offer of the Default apps page, in the program's English
// texts, as ".zip" opens with another program. Wine keeps no choice in Windows (UserChoice): the
// archiver's class is given a default verb that starts another program, which the shell answers
// the same way as for such a choice.
TEST_F(SetupScenario, ConfirmedSetupShowsTheCompletionDialogWhereF1DoesNothing) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"Ovenix.ZIP\\shell", L"", L"view"));
  ASSERT_TRUE(
      SetRegString(HKEY_CLASSES_ROOT, L"Ovenix.ZIP\\shell\\view\\command", L"", L"C:\\windows\\notepad.exe \"%1\""));
  DrivenProcess program(L"-setup -noexplorer");
  ASSERT_TRUE(program.started());
  HWND settings = program.WaitForDialog(IDC_INSTHELPTEXT);
  ASSERT_TRUE(settings) << "the settings dialog did not appear";
  EXPECT_NE(L"", DialogText(settings, IDC_INSTHELPTEXT));
  Click(settings, IDC_LINKDESKTOP);  // add the desktop shortcut
  ClickLater(settings, IDOK);
  HWND done = program.WaitForDialog(IDC_INSTFOLDER);
  ASSERT_TRUE(done) << "the completion dialog did not appear";
  EXPECT_EQ(Folder(), DialogText(done, IDC_INSTFOLDER));
  // F1 arrives as WM_HELP; the completion dialog has no help topic.
  SendMessageTimeoutW(done, WM_HELP, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  Sleep(500);
  EXPECT_TRUE(IsWindowVisible(done)) << "F1 closed the completion dialog";
  EXPECT_TRUE(program.Running());
  ClickLater(done, IDOK);
  HWND offer = program.WaitForDialog(IDYES);
  ASSERT_TRUE(offer) << "the offer of the Default apps page did not appear";
  EXPECT_EQ(L"Windows opens 1 of the file name extensions you chose for Ovenix with another app, as chosen in "
            L"Windows. Setup cannot change that choice; only you can.\n\nDo you want to open Default Programs in "
            L"the Control Panel now, to choose Ovenix there?",
            DialogText(offer, 0xFFFF));
  ClickLater(offer, IDNO);
  EXPECT_EQ(0u, program.WaitForExit());
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\Links", L"Desktop"));
}

TEST_F(SetupScenario, MsiSetupWritesNoUninstallEntryAndShowsNoCompletionDialog) {
  DrivenProcess program(L"-setup -msi");
  ASSERT_TRUE(program.started());
  HWND settings = program.WaitForDialog(IDC_INSTHELPTEXT);
  ASSERT_TRUE(settings);
  ClickLater(settings, IDOK);
  const DWORD exitCode = program.WaitForExit(30000);
  EXPECT_EQ(0u, exitCode) << "the run did not end by itself: a completion dialog is waiting?";
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".vok", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallRegKey));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kAppPathsRegKey));
}

TEST_F(SetupScenario, CancelledSetupEndsWithExitCode1AndAppliesNothingButTheConfirmedItems) {
  const std::vector<std::wstring> machineBefore = SnapshotRegistry(HKEY_LOCAL_MACHINE, L"Software");
  TempFolder installer(L"installer");
  ASSERT_TRUE(WriteFileBytes(installer.Join(L"ovenix.ini"), "HKCU\\General\\FromInstaller=1\r\n"));
  SetEnvironmentVariableW(L"sfxname", installer.Join(L"ovenix-setup.exe").c_str());  // inherited by the program
  DrivenProcess program(L"-setup");
  SetEnvironmentVariableW(L"sfxname", nullptr);
  ASSERT_TRUE(program.started());
  HWND settings = program.WaitForDialog(IDC_INSTHELPTEXT);
  ASSERT_TRUE(settings);
  ClickLater(settings, IDC_SETCONTEXTMENU);
  HWND items = program.WaitForDialog(IDC_CONTEXTALWAYSARC);
  ASSERT_TRUE(items) << "the context-menu items dialog did not open";
  Click(items, IDC_CONTEXTCONVERT);
  ClickLater(items, IDOK);
  WaitUntil([&] { return !IsWindow(items); }, 10000);
  PostMessageW(settings, WM_CLOSE, 0, 0);  // the close box
  EXPECT_EQ(1u, program.WaitForExit());
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\MenuItems", L"Convert"));
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"ShellExt"));
  EXPECT_EQ(L"", JoinLines(LinesAdded(machineBefore, SnapshotRegistry(HKEY_LOCAL_MACHINE, L"Software"))));
  EXPECT_FALSE(FileExists(CommonGroup()));
  EXPECT_FALSE(FileExists(Folder() + L"\\ovenix.ini")) << "the installer's settings file was handed over on cancel";
}

// A language library without "SETUPDLG": the dialog cannot be made, nothing is applied, and the
// run must not look like a completed setup to the installer.
TEST_F(SetupScenario, ASettingsDialogThatCannotBeMadeEndsWithExitCode1) {
  const std::wstring library = BuildPath(VOK_NO_DIALOGS_LANGUAGE);
  ASSERT_TRUE(CopyFileW(library.c_str(), (Folder() + L"\\voklng.dll").c_str(), FALSE)) << Narrow(library);
  const ProcessResult run = RunInstalled(L"-setup -s");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(1u, run.exitCode);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vok"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallRegKey));
}

// ---- The post-setup hand-over ------------------------------------------------------------------

// The settings file as text: UTF-16 little-endian after its mark, as the program writes it.
std::wstring SettingsFileText(const std::wstring& path) {
  const std::string bytes = ReadFileBytes(path);
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0)
    return L"<not UTF-16 with mark: " + std::wstring(bytes.begin(), bytes.end()) + L">";
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  memcpy(&text[0], bytes.data() + 2, text.size() * 2);
  return text;
}

size_t CountOf(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

// The saved previous owners in HKCU\Software\Ovenix as snapshot lines: none may stay in the
// registry once a settings file is the store.
std::vector<std::wstring> SavedOwnerLines() {
  std::vector<std::wstring> lines;
  for (const std::wstring& line : SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix")) {
    for (const wchar_t* name : {L" : Exist = ", L" : Type = ", L" : ShellNew = "})
      if (line.find(name) != std::wstring::npos) lines.push_back(line);
  }
  return lines;
}

// The value lines of `lines` that are not in `removed` (keys left empty may go with their values).
std::vector<std::wstring> ValuesWithout(std::vector<std::wstring> lines, const std::vector<std::wstring>& removed) {
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [&](const std::wstring& line) {
                               return line.find(L" : ") == std::wstring::npos ||
                                      std::find(removed.begin(), removed.end(), line) != removed.end();
                             }),
              lines.end());
  return lines;
}

// An upgrade: the first setup kept its settings in the registry; the second one hands the
// installer's settings file over into the per-user data folder, which the uninstall does not
// delete. Every later run reads that file, so the previous owners the first setup saved must move
// into it, and the uninstall must give them back and empty the surviving file.
TEST_F(SetupScenario, AnUpgradeThatHandsASettingsFileOverMovesThePreviousOwnersIntoIt) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".7z", L"", L"OtherArc.7z"));
  // Quotes, "%", ";", "=", "[" and a letter beyond ASCII survive the file's quoted form.
  const std::wstring oddType = L"Other \"CAB\" 100%; a=b [x] \u00c4rchiv";
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", oddType));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso", L"", L"Windows.IsoFile"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
  const std::wstring dataFolder = SpecialFolder(CSIDL_APPDATA) + L"\\Ovenix";
  ASSERT_TRUE(MakeFolders(dataFolder));
  // The first setup and the uninstall write one log; the second setup's log cannot be created.
  ASSERT_TRUE(MakeFolders(L"C:\\vok-e2e\\logs"));
  const std::wstring log = L"C:\\vok-e2e\\logs\\run log.txt";
  const ProcessResult first = RunInstalled(L"-setup -s \"-log=" + log + L"\"");
  ASSERT_TRUE(first.finished);
  ASSERT_EQ(0u, first.exitCode);
  const std::vector<std::wstring> ownersInRegistry = SavedOwnerLines();
  ASSERT_NE(std::wstring::npos, JoinLines(ownersInRegistry).find(L"Setup\\.7z : Type = SZ:OtherArc.7z"))
      << Narrow(JoinLines(ownersInRegistry));
  const std::vector<std::wstring> registryBefore = SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix");

  TempFolder installer(L"installer");
  ASSERT_TRUE(WriteFileBytes(installer.Join(L"ovenix.ini"),
                             "HKCU\\Setup\\CascadedMenu=1\r\nHKCU\\General\\FromInstaller=1\r\n"));
  const ProcessResult setup = RunInstalled(L"-setup -s \"-log=C:\\vok-e2e\\no such folder\\run.log\"",
                                           {{L"sfxname", installer.Join(L"ovenix-setup.exe")}});
  ASSERT_TRUE(setup.finished);
  EXPECT_EQ(0u, setup.exitCode);

  const std::wstring file = dataFolder + L"\\ovenix.ini";
  const std::wstring saved = SettingsFileText(file);
  for (const std::wstring& line :
       {std::wstring(L"HKCU\\Setup\\.7z\\Type=\"OtherArc.7z\"\r\n"), L"HKCU\\Setup\\.cab\\Type=\"" + oddType + L"\"\r\n",
        std::wstring(L"HKCU\\Setup\\.zip\\ShellNew=\"*\"\r\n"), std::wstring(L"HKCU\\General\\FromInstaller=1\r\n"),
        std::wstring(L"HKCU\\Setup\\CascadedMenu=0\r\n")})  // the confirmed choice wins over the installer's
    EXPECT_NE(std::wstring::npos, saved.find(line)) << Narrow(line) << " missing from:\n" << Narrow(saved);
  // The owners left the registry; the rest of the first setup's settings stayed as they were.
  EXPECT_EQ(L"", JoinLines(SavedOwnerLines()));
  EXPECT_EQ(JoinLines(ValuesWithout(registryBefore, ownersInRegistry)),
            JoinLines(ValuesWithout(SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix"), {})));
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".7z", L""));
  EXPECT_EQ(L"Windows.IsoFile", RegString(HKEY_CLASSES_ROOT, L".iso", L""));
  EXPECT_FALSE(FileExists(Folder() + L"\\ovenix.ini"));

  const ProcessResult uninstall = RunInstalled(L"-s \"/log=" + log + L"\"");
  ASSERT_TRUE(uninstall.finished);
  EXPECT_EQ(0u, uninstall.exitCode);
  EXPECT_TRUE(WaitUntil([] { return !FileExists(kInstallFolder); }, kRunMs)) << "the self-removal did not finish";
  EXPECT_EQ(L"OtherArc.7z", RegString(HKEY_CLASSES_ROOT, L".7z", L""));
  EXPECT_EQ(oddType, RegString(HKEY_CLASSES_ROOT, L".cab", L""));
  // The log tells both runs apart and what each did with the previous owner of ".7z".
  const std::string logBytes = ReadFileBytes(log);
  ASSERT_EQ(0, logBytes.compare(0, 8, "\xEF\xBB\xBF==== ")) << "not UTF-8 with a byte-order mark and a header";
  EXPECT_EQ(1u, CountOf(logBytes, "\r\n==== ")) << "not two headers:\n" << logBytes;
  for (const char* line : {"\" -setup -s \"-log=C:\\vok-e2e\\logs\\run log.txt\"; settings: the registry\r\n",
                           "\" -s \"/log=C:\\vok-e2e\\logs\\run log.txt\"; settings: the settings file ",
                           "association .7z: taken over; previous owner saved: the key existed, type \"OtherArc.7z\"; "
                           "kept in HKLM\\Software\\Ovenix\\Owners\\.7z and in the user's settings\r\n",
                           "association .7z: given back from its owner record: type \"OtherArc.7z\"\r\n",
                           "Uninstall_Vok.Bat"})
    EXPECT_NE(std::string::npos, logBytes.find(line)) << line << " missing from the log:\n" << logBytes;
  EXPECT_EQ(logBytes.size() - 13, logBytes.rfind("exit code 0\r\n")) << "the exit code is not the last line";
  EXPECT_EQ(L"Windows.IsoFile", RegString(HKEY_CLASSES_ROOT, L".iso", L""));
  EXPECT_EQ(L"", RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  // The first setup's other settings stay in the registry (HKCU and HKLM\Software\Ovenix): the
  // program's own keys now live in the file, which the uninstall empties.
  EXPECT_EQ(L"", JoinLines(SavedOwnerLines()));
  EXPECT_EQ(L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n", SettingsFileText(file));
}

// ---- Whoever removes it, with whatever settings ------------------------------------------------

// Between a silent setup and a silent uninstall the account or the settings store changes; the
// previous owners kept in the owner records bring every seeded association back all the same.
struct OwnerCase {
  const char* name;
  const char* iniBeside;      // "Ovenix.ini" beside the program from the start (nullptr: none)
  bool iniReadOnly;           // ... and read-only
  bool userSettingsRemoved;   // HKCU\Software\Ovenix deleted before the uninstall (another account)
  bool iniAppearsBeside;      // a settings file appears beside the program after setup
  bool iniAppearsInAppData;   // ... or in %APPDATA%\Ovenix
};
void PrintTo(const OwnerCase& c, std::ostream* os) { *os << c.name; }

class OwnerRecordScenario : public SetupScenario, public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(OwnerRecordScenario, EverySeededOwnerComesBack) {
  const OwnerCase& c = GetParam();
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".7z", L"", L"OtherArc.7z"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"OtherArc.Cab"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso", L"", L"Windows.IsoFile"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".rev", L"", L"OtherRev.Vol"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"OtherRev.Vol", L""));
  const wchar_t* const seeded[] = {L".7z", L".cab", L".iso", L".zip", L".rev"};
  std::vector<std::vector<std::wstring>> before;
  for (const wchar_t* key : seeded) before.push_back(SnapshotRegistry(HKEY_CLASSES_ROOT, key));
  const std::wstring ini = Folder() + L"\\Ovenix.ini";
  if (c.iniBeside || c.iniAppearsBeside) {
    // The installer lists a settings file beside the program, so that the folder can go.
    ASSERT_TRUE(WriteFileBytes(Folder() + L"\\Uninstall.lst", ReadFileBytes(Folder() + L"\\Uninstall.lst") + "Ovenix.ini\r\n"));
  }
  if (c.iniBeside) {
    ASSERT_TRUE(WriteFileBytes(ini, c.iniBeside));
  }
  if (c.iniReadOnly) {
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  ASSERT_TRUE(MakeFolders(L"C:\\vok-e2e"));
  const std::wstring log = L"C:\\vok-e2e\\owners.log";

  const ProcessResult setup = RunInstalled(L"-setup -s \"-log=" + log + L"\"");
  ASSERT_TRUE(setup.finished);
  ASSERT_EQ(0u, setup.exitCode);
  ASSERT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".7z", L"")) << "setup did not take \".7z\" over";
  ASSERT_EQ(L"Ovenix.REV", RegString(HKEY_CLASSES_ROOT, L".rev", L""));
  if (c.userSettingsRemoved) {
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Ovenix"));
  }
  if (c.iniAppearsBeside) {
    ASSERT_TRUE(WriteFileBytes(ini, "HKCU\\General\\Portable=1\r\n"));
  }
  const std::wstring dataFolder = SpecialFolder(CSIDL_APPDATA) + L"\\Ovenix";
  if (c.iniAppearsInAppData) {
    ASSERT_TRUE(MakeFolders(dataFolder));
    ASSERT_TRUE(WriteFileBytes(dataFolder + L"\\Ovenix.ini", "HKCU\\General\\Synced=1\r\n"));
  }

  const ProcessResult uninstall = RunInstalled(L"-s \"-log=" + log + L"\"");
  ASSERT_TRUE(uninstall.finished);
  EXPECT_EQ(0u, uninstall.exitCode);
  EXPECT_TRUE(WaitUntil([] { return !FileExists(kInstallFolder); }, kRunMs)) << "the self-removal did not finish";
  for (size_t i = 0; i < sizeof seeded / sizeof seeded[0]; ++i) {
    const std::vector<std::wstring> after = SnapshotRegistry(HKEY_CLASSES_ROOT, seeded[i]);
    EXPECT_EQ(JoinLines(before[i]), JoinLines(after)) << Narrow(seeded[i]) << " is not back as it was";
  }
  for (const wchar_t* key : {L".vok", L".lz", L"Ovenix", L"Ovenix.REV"})
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key)) << Narrow(key) << " is left";
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix\\Owners"));
  if (!c.iniAppearsBeside && !c.iniAppearsInAppData) {
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ovenix"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix"));
  }
  // The log says "saved" where a later run finds the owner, and the uninstall found it there.
  const std::string logBytes = ReadFileBytes(log);
  const std::string kept = c.iniBeside ? " (not in the settings file: it is never written back)\r\n"
                                       : " and in the user's settings\r\n";
  for (const std::string& line : {"type \"OtherArc.7z\"; kept in HKLM\\Software\\Ovenix\\Owners\\.7z" + kept,
                                  std::string("association .7z: given back from its owner record: type \"OtherArc.7z\"\r\n")})
    EXPECT_NE(std::string::npos, logBytes.find(line)) << line << " missing from the log:\n" << logBytes;
  DeleteFileW(log.c_str());
  DeleteTreeForTest(dataFolder);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, OwnerRecordScenario,
    ::testing::Values(OwnerCase{"UserSettingsRemoved", nullptr, false, true, false, false},
                      OwnerCase{"SettingsFileNeverWritten", "Global\\SaveSettings=0\r\n", false, false, false, false},
                      OwnerCase{"ReadOnlySettingsFile", "HKCU\\General\\Sample=1\r\n", true, false, false, false},
                      OwnerCase{"SettingsFileAppearsBeside", nullptr, false, false, true, false},
                      OwnerCase{"SettingsFileAppearsInAppData", nullptr, false, false, false, true}),
    [](const ::testing::TestParamInfo<OwnerCase>& info) { return info.param.name; });

}  // namespace
