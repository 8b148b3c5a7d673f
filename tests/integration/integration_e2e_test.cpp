// Applying and removing the whole integration end to end: each case lays out an installation in a
// temp folder (a copy of this program beside dummy "Ovenix.exe", "vokext.dll", ... as the case
// needs), runs the copy in child mode against the real registry and shell folders of the test
// prefix, and inspects the result. Registered as a scenario: the prefix's registry is reset before
// the program runs, and every case deletes what it may have made.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/handles.h"
#include "integration/app_registration.h"
#include "integration/integration_settings.h"
#include "integration/shell_extension.h"
#include "integration_layout.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/registry_snapshot.h"
#include "support/text.h"

namespace {

const wchar_t kClsid32[] = L"{5E0A1C32-8EE4-4F7B-9C21-7D3B6A90E514}";
const wchar_t kClsid64[] = L"{5E0A1C32-64E4-4F7B-9C21-7D3B6A90E514}";
const std::wstring kApproved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::wstring kRegisteredApplications = L"Software\\RegisteredApplications";
const std::wstring kAppPathsPath = kAppPathsKey + 1;
const std::wstring kUninstallPath = kUninstallKey + 1;
const HKEY HKCR = HKEY_CLASSES_ROOT;
const HKEY HKLM = HKEY_LOCAL_MACHINE;
const HKEY HKCU = HKEY_CURRENT_USER;

std::wstring Record(const IntegrationSettings& settings) { return L"--record=" + RecordText(settings); }

IntegrationSettings Links(bool desktop, bool startMenu, bool programs) {
  IntegrationSettings settings = {};
  settings.Desktop = desktop;
  settings.StartMenu = startMenu;
  settings.Programs = programs;
  return settings;
}

// Registry changes Wine makes by itself when a process runs, unrelated to the program.
bool IsWineNoise(const std::wstring& line) {
  static const wchar_t* const kNoise[] = {
      L"Software\\Wine",
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
      L"Software\\VokTests",
  };
  for (const wchar_t* prefix : kNoise) {
    if (line.compare(0, wcslen(prefix), prefix) == 0) return true;
  }
  return false;
}

struct RegistryState {
  std::vector<std::wstring> machine, user;
};
RegistryState CaptureRegistry() {
  RegistryState state{SnapshotRegistry(HKLM, L"Software"), SnapshotRegistry(HKCU, L"Software")};
  for (auto* lines : {&state.machine, &state.user}) {
    lines->erase(std::remove_if(lines->begin(), lines->end(), IsWineNoise), lines->end());
  }
  return state;
}

// Lines of `after` not in `before`, with "HKLM\" / "HKCU\" in front.
std::vector<std::wstring> Added(const RegistryState& before, const RegistryState& after) {
  std::vector<std::wstring> lines;
  for (const std::wstring& line : LinesAdded(before.machine, after.machine)) lines.push_back(L"HKLM\\" + line);
  for (const std::wstring& line : LinesAdded(before.user, after.user)) lines.push_back(L"HKCU\\" + line);
  return lines;
}

class IntegrationEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { CleanIntegrationState(); }
  void TearDown() override { CleanIntegrationState(); }

  // Every file a full installation has (except "Vok.txt" unless asked).
  static std::vector<std::wstring> FullInstallation() {
    return {L"Ovenix.exe", L"vokext.dll", L"vokext32.dll", L"Ovenix.chm", L"Vok.txt", WhatsNewName()};
  }
  static std::wstring WhatsNewName() { return LocalizedString(IDS_WHATSNEWNAME); }

  OleSession ole_;
};

// ---- Shell extension: class keys in the library's view, handlers always ----

TEST_F(IntegrationEndToEnd, ClassKeysFollowTheLibrariesAndRemovalClearsBothViews) {
  struct Case {
    const char* label;
    bool with32, with64;
  };
  const Case cases[] = {{"both libraries", true, true}, {"only vokext.dll", false, true}, {"no library", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::wstring> files = {L"Ovenix.exe"};
    if (c.with32) files.push_back(L"vokext32.dll");
    if (c.with64) files.push_back(L"vokext.dll");
    const InstallationLayout layout(files);
    ASSERT_TRUE(layout.ready());
    ASSERT_EQ(0u, layout.Run(L"apply", L"--record=default").exitCode);

    const std::wstring class32 = std::wstring(L"CLSID\\") + kClsid32;
    const std::wstring class64 = std::wstring(L"CLSID\\") + kClsid64;
    // Wine keeps the 32-bit view of HKCR under Classes\Wow6432Node, invisible to a default-view read.
    EXPECT_EQ(c.with32, RegKeyExists(HKCR, class32, KEY_WOW64_32KEY));
    EXPECT_FALSE(RegKeyExists(HKCR, class32)) << "the 32-bit class belongs in the 32-bit view only";
    EXPECT_EQ(c.with64, RegKeyExists(HKCR, class64));
    if (c.with32) {
      EXPECT_EQ(L"Ovenix", RegString(HKCR, class32, L"", L"<missing>", KEY_WOW64_32KEY));
      EXPECT_EQ(layout.Join(L"vokext32.dll"),
                RegString(HKCR, class32 + L"\\InProcServer32", L"", L"<missing>", KEY_WOW64_32KEY));
      EXPECT_EQ(L"Apartment", RegString(HKCR, class32 + L"\\InProcServer32", L"ThreadingModel", L"<missing>",
                                        KEY_WOW64_32KEY));
    }
    if (c.with64) {
      EXPECT_EQ(layout.Join(L"vokext.dll"), RegString(HKCR, class64 + L"\\InProcServer32", L""));
      EXPECT_EQ(L"Apartment", RegString(HKCR, class64 + L"\\InProcServer32", L"ThreadingModel"));
    }
    // The handler and approval keys name both classes whether or not the files exist.
    for (const wchar_t* clsid : {kClsid32, kClsid64}) {
      for (const wchar_t* parent : {L"Ovenix\\shellex\\ContextMenuHandlers\\", L"Ovenix\\shellex\\PropertySheetHandlers\\",
                                    L"Ovenix.ZIP\\shellex\\ContextMenuHandlers\\",
                                    L"Ovenix.ZIP\\shellex\\PropertySheetHandlers\\",
                                    L"exefile\\shellex\\PropertySheetHandlers\\"}) {
        EXPECT_EQ(L"", RegString(HKCR, parent + std::wstring(clsid), L"")) << Narrow(parent);
      }
      EXPECT_EQ(L"Ovenix shell extension", RegString(HKLM, kApproved, clsid));
    }
    for (const auto& named : {std::make_pair(L"Ovenix32", kClsid32), std::make_pair(L"Ovenix", kClsid64)}) {
      for (const wchar_t* parent : {L"*\\shellex\\ContextMenuHandlers\\", L"Folder\\shellex\\ContextMenuHandlers\\",
                                    L"Folder\\shellex\\DragDropHandlers\\", L"Drive\\shellex\\DragDropHandlers\\",
                                    L"lnkfile\\shellex\\ContextMenuHandlers\\"}) {
        EXPECT_EQ(named.second, RegString(HKCR, parent + std::wstring(named.first), L"")) << Narrow(parent);
      }
    }
    EXPECT_EQ(kClsid64, RegString(HKCR, L"Ovenix\\shellex\\DropHandler", L""));
    EXPECT_EQ(kClsid64, RegString(HKCR, L"Ovenix.ZIP\\shellex\\DropHandler", L""));

    ASSERT_EQ(0u, layout.Run(L"remove").exitCode);
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
      EXPECT_FALSE(RegKeyExists(HKCR, class32, view)) << "view " << view;
      EXPECT_FALSE(RegKeyExists(HKCR, class64, view)) << "view " << view;
    }
    for (const wchar_t* name : {L"Ovenix32", L"Ovenix"}) {
      EXPECT_FALSE(RegKeyExists(HKCR, std::wstring(L"*\\shellex\\ContextMenuHandlers\\") + name));
      EXPECT_FALSE(RegKeyExists(HKCR, std::wstring(L"Drive\\shellex\\DragDropHandlers\\") + name));
    }
    EXPECT_FALSE(RegKeyExists(HKCR, L"Ovenix"));
    EXPECT_FALSE(RegValueExists(HKLM, kApproved, kClsid32));
    EXPECT_FALSE(RegValueExists(HKLM, kApproved, kClsid64));
    CleanIntegrationState();
  }
}

TEST_F(IntegrationEndToEnd, CapabilitiesListEveryExtensionAndRemovalDeletesTheProgramKey) {
  const InstallationLayout layout({L"Ovenix.exe"});
  ASSERT_TRUE(layout.ready());
  IntegrationSettings onlyShellExt = {};  // no type selected: the list still covers all of them
  onlyShellExt.ShellExt = 1;
  ASSERT_EQ(0u, layout.Run(L"shellext-apply", Record(onlyShellExt)).exitCode);

  EXPECT_EQ(L"Software\\Ovenix\\Capabilities", RegString(HKLM, kRegisteredApplications, L"Ovenix"));
  EXPECT_EQ(L"Ovenix", RegString(HKLM, L"Software\\Ovenix\\Capabilities", L"ApplicationDescription"));
  size_t expectedCount = 0;
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) {
      ++expectedCount;
      EXPECT_EQ(type.index == kZipTypeIndex ? L"Ovenix.ZIP" : L"Ovenix",
                RegString(HKLM, L"Software\\Ovenix\\Capabilities\\FileAssociations", extension))
          << Narrow(extension);
    }
  }
  const std::vector<std::wstring> lines = SnapshotRegistry(HKLM, L"Software\\Ovenix\\Capabilities\\FileAssociations");
  EXPECT_EQ(expectedCount + 1, lines.size()) << "one key line and one line per extension:\n"
                                             << Narrow(JoinLines(lines));

  // A later setup without the shell extension unregisters it, Directory keys included, but
  // applying never deletes the program key.
  for (const wchar_t* key : {L"Directory\\shellex\\ContextMenuHandlers\\Ovenix32",
                             L"Directory\\shellex\\DragDropHandlers\\Ovenix"}) {
    ASSERT_TRUE(CreateRegKey(HKCR, key));
  }
  ASSERT_EQ(0u, layout.Run(L"shellext-apply", Record(IntegrationSettings{})).exitCode);
  EXPECT_FALSE(RegKeyExists(HKCR, L"Directory\\shellex\\ContextMenuHandlers\\Ovenix32"));
  EXPECT_FALSE(RegKeyExists(HKCR, L"Directory\\shellex\\DragDropHandlers\\Ovenix"));
  EXPECT_FALSE(RegKeyExists(HKCR, L"*\\shellex\\ContextMenuHandlers\\Ovenix"));
  EXPECT_FALSE(RegValueExists(HKLM, kApproved, kClsid64));
  EXPECT_TRUE(RegKeyExists(HKLM, L"Software\\Ovenix\\Capabilities"));

  ASSERT_EQ(0u, layout.Run(L"shellext-remove", Record(IntegrationSettings{})).exitCode);
  EXPECT_FALSE(RegKeyExists(HKLM, L"Software\\Ovenix"));
  EXPECT_FALSE(RegValueExists(HKLM, kRegisteredApplications, L"Ovenix"));
}

// ---- What really opens each chosen extension ----

// One line per chosen extension, by the real query where Windows can answer it under Wine (the
// archiver's class; another program's class that setup had to leave, an expandable type) and by
// the seam where it cannot (a choice in Windows, a failed query); none for a type not chosen.
TEST_F(IntegrationEndToEnd, TheLogNamesWhatOpensEveryChosenExtensionAndWhy) {
  const InstallationLayout layout({L"Ovenix.exe", L"other7z.exe"});
  ASSERT_TRUE(layout.ready());
  const std::wstring command = Quoted(layout.Join(L"other7z.exe")) + L" \"%1\"";
  ASSERT_TRUE(SetRegString(HKCR, L"Other7z.Archive\\shell\\open\\command", L"", command));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKCR, L".7z", nullptr, REG_EXPAND_SZ, L"Other7z.Archive",
                                           sizeof L"Other7z.Archive"));
  IntegrationSettings chosen = {};
  for (int type : {0, 1, 6, 8}) chosen.Associate[type] = 1;  // .vok, .zip, .7z, .gz with .tgz
  const std::wstring log = layout.Join(L"run.log");
  EXPECT_EQ(0u, layout.Run(L"apply", Record(chosen) + L" " + Quoted(L"--log=" + log) +
                                         L" --answer=.zip=C:\\Other\\zipper.exe --answer=.tgz=").exitCode);
  EXPECT_EQ(0u, layout.Run(L"remove").exitCode);
  DeleteRegTree(HKCR, L".7z");
  DeleteRegTree(HKCR, L"Other7z.Archive");

  std::string lines;
  const std::string text = ReadFileBytes(log);
  for (size_t at = text.find("opens with ."); at != std::string::npos; at = text.find("opens with .", at + 1))
    lines += text.substr(at, text.find("\r\n", at) + 2 - at);
  EXPECT_EQ("opens with .vok: the archiver\r\n"
            "opens with .zip: C:\\Other\\zipper.exe, chosen in Windows\r\n"
            "opens with .7z: " + Narrow(layout.Join(L"other7z.exe")) +
                ", as the extension was left to its owner (its type could not be saved exactly)\r\n"
                "opens with .gz: the archiver\r\n"
                "opens with .tgz: no answer (0x80070483)\r\n",
            lines);
  wchar_t account[257];
  DWORD length = 257;
  ASSERT_TRUE(GetUserNameW(account, &length));
  EXPECT_NE(std::string::npos, text.find("asked as the account " + Narrow(account) + "; the archiver is " +
                                         Narrow(layout.Join(L"Ovenix.exe")) + "\r\n"))
      << text;
}

// ---- Shortcuts ----

TEST_F(IntegrationEndToEnd, ShortcutsAreRealAndGroupsRebuilt) {
  std::vector<std::wstring> files = FullInstallation();
  files.erase(std::find(files.begin(), files.end(), L"Vok.txt"));  // its shortcut is left out
  files.push_back(L"theme.ico");
  const InstallationLayout layout(files);
  ASSERT_TRUE(layout.ready());

  const std::wstring userDesktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  const std::wstring commonDesktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring commonStartMenu = SpecialFolder(CSIDL_COMMON_STARTMENU);
  const std::wstring userGroup = SpecialFolder(CSIDL_PROGRAMS) + L"\\Ovenix";
  const std::wstring commonGroup = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix";
  ASSERT_FALSE(userDesktop.empty());
  ASSERT_FALSE(commonDesktop.empty());
  // A per-user desktop shortcut of an earlier version, and stale group content.
  ASSERT_TRUE(WriteFileBytes(userDesktop + L"\\Ovenix.lnk", "old"));
  for (const std::wstring& group : {userGroup, commonGroup}) {
    ASSERT_TRUE(MakeFolders(group + L"\\kept subfolder"));
    ASSERT_TRUE(WriteFileBytes(group + L"\\kept subfolder\\notes.txt", "x"));
    ASSERT_TRUE(WriteFileBytes(group + L"\\" + LocalizedString(IDS_VOKHELP) + L".lnk", "stale"));
  }
  ASSERT_TRUE(SetRegString(HKCU, L"Software\\Ovenix\\Interface\\Themes", L"ShellExtIcon", layout.Join(L"theme.ico")));

  std::wstring reported;
  IntegrationSettings settings = Links(true, true, true);
  ASSERT_EQ(0u, layout.RunWithOutput(L"apply", Record(settings), reported).exitCode);
  EXPECT_EQ(commonGroup, reported) << "all users' group is reported when it could be made";

  const std::wstring description = LocalizedString(IDS_OVENIXDESC);
  const std::wstring icon = layout.Join(L"theme.ico");
  EXPECT_FALSE(FileExists(userDesktop + L"\\Ovenix.lnk")) << "the user's own desktop shortcut goes";
  struct Expected {
    std::wstring shortcut, target, workingDirectory, iconLocation;
  };
  std::vector<Expected> expected = {
      {commonDesktop + L"\\Ovenix.lnk", layout.Join(L"Ovenix.exe"), L"", icon},
      {commonStartMenu + L"\\Ovenix.lnk", layout.Join(L"Ovenix.exe"), userDesktop, icon},
  };
  for (const std::wstring& group : {userGroup, commonGroup}) {
    expected.push_back({group + L"\\Ovenix.lnk", layout.Join(L"Ovenix.exe"), userDesktop, icon});
    expected.push_back(
        {group + L"\\" + LocalizedString(IDS_OVENIXHELP) + L".lnk", layout.Join(L"Ovenix.chm"), userDesktop, L""});
    expected.push_back(
        {group + L"\\" + LocalizedString(IDS_WHATSNEW) + L".lnk", layout.Join(WhatsNewName()), userDesktop, L""});
  }
  for (const Expected& e : expected) {
    SCOPED_TRACE(Narrow(e.shortcut));
    const ShortcutInfo info = ReadShortcut(e.shortcut);
    ASSERT_TRUE(info.loaded);
    EXPECT_EQ(e.target, info.target);
    EXPECT_EQ(description, info.description);
    EXPECT_EQ(e.workingDirectory, info.workingDirectory);
    EXPECT_EQ(e.iconLocation, info.iconLocation);
  }
  for (const std::wstring& group : {userGroup, commonGroup}) {
    EXPECT_FALSE(FileExists(group + L"\\" + LocalizedString(IDS_VOKHELP) + L".lnk"))
        << "a missing target leaves its shortcut out, and the stale one is gone";
    EXPECT_TRUE(FileExists(group + L"\\kept subfolder\\notes.txt")) << "subfolders survive a rebuild";
  }

  // Removal: every shortcut and both groups with their content.
  ASSERT_EQ(0u, layout.Run(L"shortcuts", Record(IntegrationSettings{})).exitCode);
  EXPECT_FALSE(FileExists(commonDesktop + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(commonStartMenu + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(userGroup));
  EXPECT_FALSE(FileExists(commonGroup));
}

TEST_F(IntegrationEndToEnd, TranslatedNamesThatLeaveTheirFolderGiveWayToTheProgramsOwn) {
  const InstallationLayout layout(FullInstallation());
  ASSERT_TRUE(layout.ready());
  // A file beside the program folder, where a translated target name must never lead.
  const std::wstring outside = layout.folder() + L"\\..\\vok-outside.txt";
  ASSERT_TRUE(WriteFileBytes(outside, "not the archiver's"));
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"uninstall.lng"),
                             "Language file of the test\r\n***messages***\r\n:STRINGS\r\n"
                             "IDS_OVENIXHELP ..\\..\\Help\r\nIDS_VOKHELP Vok-Hilfe\r\nIDS_WHATSNEW C:News\r\n"
                             "IDS_WHATSNEWNAME ..\\vok-outside.txt\r\n"));
  const std::wstring userPrograms = SpecialFolder(CSIDL_PROGRAMS);
  const std::wstring commonPrograms = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  ASSERT_EQ(0u, layout.Run(L"shortcuts", Record(Links(false, false, true)) + L" --lng").exitCode);

  for (const std::wstring& programs : {userPrograms, commonPrograms}) {
    const std::wstring group = programs + L"\\Ovenix";
    SCOPED_TRACE(Narrow(group));
    // This test program has no language loaded: its LocalizedString is the program's own text.
    const std::pair<std::wstring, std::wstring> expected[] = {
        {group + L"\\" + LocalizedString(IDS_OVENIXHELP) + L".lnk", layout.Join(L"Ovenix.chm")},
        {group + L"\\Vok-Hilfe.lnk", layout.Join(L"Vok.txt")},  // a plain translated name is used
        {group + L"\\" + LocalizedString(IDS_WHATSNEW) + L".lnk", layout.Join(WhatsNewName())},
    };
    for (const auto& shortcut : expected) {
      const ShortcutInfo info = ReadShortcut(shortcut.first);
      EXPECT_TRUE(info.loaded) << Narrow(shortcut.first);
      EXPECT_EQ(shortcut.second, info.target) << Narrow(shortcut.first);
    }
    EXPECT_FALSE(FileExists(programs + L"\\..\\Help.lnk")) << "a shortcut outside the group";
    EXPECT_FALSE(FileExists(group + L"\\C")) << "a stream of a file \"C\" in the group";
  }

  ASSERT_EQ(0u, layout.Run(L"shortcuts", Record(IntegrationSettings{}) + L" --lng").exitCode);
  EXPECT_FALSE(FileExists(userPrograms + L"\\Ovenix"));
  EXPECT_FALSE(FileExists(commonPrograms + L"\\Ovenix"));
  EXPECT_EQ("not the archiver's", ReadFileBytes(outside));
  DeleteFileW(outside.c_str());
  for (const std::wstring& programs : {userPrograms, commonPrograms}) {
    DeleteFileW((programs + L"\\..\\Help.lnk").c_str());
  }
}

TEST_F(IntegrationEndToEnd, DesktopAndStartMenuFollowTheirFlags) {
  const InstallationLayout layout({L"Ovenix.exe"});
  ASSERT_TRUE(layout.ready());
  const std::wstring desktopLink = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk";
  const std::wstring startLink = SpecialFolder(CSIDL_COMMON_STARTMENU) + L"\\Ovenix.lnk";
  struct Case {
    bool desktop, startMenu;
  };
  for (const Case& c : {Case{true, false}, Case{false, true}, Case{true, true}, Case{false, false}}) {
    SCOPED_TRACE(testing::Message() << "desktop " << c.desktop << ", start menu " << c.startMenu);
    std::wstring reported;
    ASSERT_EQ(0u, layout.RunWithOutput(L"shortcuts", Record(Links(c.desktop, c.startMenu, false)), reported).exitCode);
    EXPECT_EQ(c.desktop, FileExists(desktopLink));
    EXPECT_EQ(c.startMenu, FileExists(startLink));
    EXPECT_EQ(L"<unchanged>", reported) << "no group, no report";
  }
}

TEST_F(IntegrationEndToEnd, GroupThatIsAJunctionIsNeverRemoved) {
  const InstallationLayout layout({L"Ovenix.exe"});
  ASSERT_TRUE(layout.ready());
  const TempFolder elsewhere(L"vokjunctiontarget");
  ASSERT_TRUE(WriteFileBytes(elsewhere.Join(L"precious.txt"), "keep"));
  const std::wstring userGroup = SpecialFolder(CSIDL_PROGRAMS) + L"\\Ovenix";
  const ScopedLink link(userGroup, elsewhere.path(), /*folder=*/true);
  ASSERT_TRUE(link.made()) << "error " << GetLastError();
  // Rebuilding neither empties nor fills the folder behind the link (removal would never find
  // shortcuts written there); the group reported is all users'. Removing does not remove it.
  std::wstring reported;
  ASSERT_EQ(0u, layout.RunWithOutput(L"shortcuts", Record(Links(false, false, true)), reported).exitCode);
  EXPECT_EQ("keep", ReadFileBytes(elsewhere.Join(L"precious.txt")));
  EXPECT_FALSE(FileExists(elsewhere.Join(L"Ovenix.lnk"))) << "a shortcut was written through the link";
  EXPECT_EQ(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix", reported);
  ASSERT_EQ(0u, layout.Run(L"shortcuts", Record(IntegrationSettings{})).exitCode);
  EXPECT_TRUE(FileExists(userGroup));
  EXPECT_EQ("keep", ReadFileBytes(elsewhere.Join(L"precious.txt")));
}

// ---- Windows before 6.0 (Wine's per-application version setting) ----

TEST_F(IntegrationEndToEnd, WindowsXpWritesNoCapabilitiesAndUsesTheUserDesktop) {
  const InstallationLayout layout({L"Ovenix.exe", L"vokext.dll"}, L"vokxp.exe");
  ASSERT_TRUE(layout.ready());
  const std::wstring appDefaults = L"Software\\Wine\\AppDefaults\\vokxp.exe";
  ASSERT_TRUE(SetRegString(HKCU, appDefaults, L"Version", L"winxp64"));
  // Someone else's value under our name must survive a removal on Windows 5.x.
  ASSERT_TRUE(SetRegString(HKLM, kRegisteredApplications, L"Ovenix", L"left alone"));

  IntegrationSettings settings = Links(true, true, false);
  settings.ShellExt = 1;
  ASSERT_EQ(0u, layout.Run(L"apply", Record(settings)).exitCode);
  EXPECT_EQ(L"left alone", RegString(HKLM, kRegisteredApplications, L"Ovenix"));
  EXPECT_FALSE(RegKeyExists(HKLM, L"Software\\Ovenix\\Capabilities"));
  EXPECT_TRUE(RegKeyExists(HKCR, std::wstring(L"CLSID\\") + kClsid64)) << "the extension itself is registered";
  const std::wstring userDesktopLink = SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Ovenix.lnk";
  const std::wstring userStartLink = SpecialFolder(CSIDL_STARTMENU) + L"\\Ovenix.lnk";
  EXPECT_TRUE(FileExists(userDesktopLink));
  EXPECT_TRUE(FileExists(userStartLink));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_STARTMENU) + L"\\Ovenix.lnk"));

  ASSERT_EQ(0u, layout.Run(L"remove").exitCode);
  EXPECT_EQ(L"left alone", RegString(HKLM, kRegisteredApplications, L"Ovenix"));
  EXPECT_FALSE(FileExists(userDesktopLink));
  EXPECT_FALSE(FileExists(userStartLink));

  DeleteRegTree(HKCU, appDefaults);
}

// ---- Access denied (through the registry layer's test seam: Wine does not enforce permissions) ----

TEST_F(IntegrationEndToEnd, RefusedAppPathsWriteWritesNothingAtAll) {
  const InstallationLayout layout(FullInstallation());
  ASSERT_TRUE(layout.ready());
  const RegistryState before = CaptureRegistry();
  ASSERT_EQ(1u, layout.Run(L"apply", Record(EverythingOn()) + L" --deny-first").exitCode)
      << "ApplyIntegration must report false";
  EXPECT_EQ(L"", JoinLines(Added(before, CaptureRegistry())));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix"));
}

TEST_F(IntegrationEndToEnd, RefusedProgIdWriteStopsBeforeShortcuts) {
  const InstallationLayout layout(FullInstallation());
  ASSERT_TRUE(layout.ready());
  ASSERT_EQ(1u, layout.Run(L"apply", Record(EverythingOn()) + L" --deny-progid").exitCode)
      << "ApplyIntegration must report false";
  // Steps before the ProgIDs stay.
  EXPECT_EQ(layout.Join(L"Ovenix.exe"), RegString(HKLM, kAppPathsPath, L""));
  EXPECT_EQ(L"Ovenix", RegString(HKCR, L".vok", L""));
  EXPECT_TRUE(RegKeyExists(HKCR, std::wstring(L"CLSID\\") + kClsid64));
  // No ProgID and no shortcut.
  EXPECT_FALSE(RegValueExists(HKCR, L"Ovenix", L""));
  EXPECT_FALSE(RegKeyExists(HKCR, L"Ovenix\\shell"));
  EXPECT_FALSE(RegKeyExists(HKCR, L"Ovenix.ZIP\\shell"));
  EXPECT_FALSE(RegKeyExists(HKCR, L"Ovenix.REV"));
  EXPECT_FALSE(RegKeyExists(HKCR, L".rev"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_STARTMENU) + L"\\Ovenix.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_PROGRAMS) + L"\\Ovenix"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix"));
  ASSERT_EQ(0u, layout.Run(L"remove").exitCode);
}

// ---- System integration switched off by the INI file ----

TEST_F(IntegrationEndToEnd, IntegrationOffInIniFileTouchesNothingOutsideTheProgram) {
  const InstallationLayout layout(FullInstallation());
  ASSERT_TRUE(layout.ready());
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"Ovenix.ini"), "Global\\Integration=0\r\n"));
  const RegistryState before = CaptureRegistry();
  std::wstring reported;
  const std::wstring log = layout.Join(L"run.log");
  ASSERT_EQ(0u, layout.RunWithOutput(L"apply", Record(EverythingOn()) + L" " + Quoted(L"--log=" + log), reported)
                    .exitCode);
  EXPECT_EQ(L"<unchanged>", reported);
  EXPECT_EQ(L"", JoinLines(Added(before, CaptureRegistry()))) << "after apply";
  const std::string logged = ReadFileBytes(log);
  EXPECT_NE(std::string::npos, logged.find("skipped (registry access is off")) << logged;
  EXPECT_EQ(std::string::npos, logged.find("opens with")) << "nothing is checked either";
  for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_DESKTOPDIRECTORY}) {
    EXPECT_FALSE(FileExists(SpecialFolder(csidl) + L"\\Ovenix.lnk")) << csidl;
  }
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_PROGRAMS) + L"\\Ovenix"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Ovenix"));
  // That removal deletes nothing outside the program's key either is the registry layer's own test.
}

// ---- App Paths, the uninstall entry and the version name ----

// Wine makes the 32-bit view's App Paths key a link to the 64-bit one (Windows 7 and later share
// it too), so a write or deletion missing in one view would not show; Windows 6.0 and earlier keep
// two keys, and so does Wine while this object lives: the link goes, and is made again after.
class SeparateAppPathsViews {
 public:
  SeparateAppPathsViews() {
    UniqueHkey key;
    DWORD type = REG_NONE;  // a key that is no link is left as it is
    const REGSAM access = DELETE | KEY_QUERY_VALUE | KEY_WOW64_64KEY;
    separated_ = RegOpenKeyExW(HKLM, kWow64Key, REG_OPTION_OPEN_LINK, access, key.put()) == ERROR_SUCCESS &&
                 RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
                 type == REG_LINK && RegDeleteKeyW(key.get(), L"") == ERROR_SUCCESS;
    if (RunningUnderWine()) {
      EXPECT_TRUE(separated_) << "Wine's link of the two views is not there";
    }
  }
  ~SeparateAppPathsViews() {
    if (!separated_) return;  // a tree deletion would go through the link into the 64-bit key
    DeleteRegTree(HKLM, kWow64Key, KEY_WOW64_64KEY);
    UniqueHkey link;
    const std::wstring target = L"\\Registry\\Machine\\" + kAppPathsPath.substr(0, kAppPathsPath.rfind(L'\\'));
    if (RegCreateKeyExW(HKLM, kWow64Key, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                        link.put(), nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                     static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    }
  }

 private:
  static constexpr wchar_t kWow64Key[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";
  bool separated_ = false;
};

TEST_F(IntegrationEndToEnd, AppPathsInBothViewsAndMsiRemovalKeepsThem) {
  const SeparateAppPathsViews views;
  const InstallationLayout layout(FullInstallation());
  ASSERT_TRUE(layout.ready());
  ASSERT_EQ(0u, layout.Run(L"apply", L"--record=default").exitCode);
  ASSERT_EQ(0u, layout.Run(L"uninstall-entry").exitCode);
  const std::wstring exe = layout.Join(L"Ovenix.exe");
  for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
    SCOPED_TRACE(testing::Message() << "view " << view);
    EXPECT_EQ(exe, RegString(HKLM, kAppPathsPath, L"", L"<missing>", view));
    EXPECT_EQ(layout.folder(), RegString(HKLM, kAppPathsPath, L"Path", L"<missing>", view))
        << "no trailing backslash";
  }
  EXPECT_EQ(exe, RegString(HKLM, L"Software\\Ovenix", L"exe64"));
  EXPECT_EQ(layout.folder() + L"\\", RegString(HKLM, kUninstallPath, L"InstallLocation"));
  EXPECT_EQ(Quoted(layout.ExePath()), RegString(HKLM, kUninstallPath, L"UninstallString"));

  ASSERT_EQ(0u, layout.Run(L"remove", L"--msi").exitCode);
  EXPECT_TRUE(RegKeyExists(HKLM, kUninstallPath));
  EXPECT_EQ(exe, RegString(HKLM, kAppPathsPath, L""));
  EXPECT_EQ(exe, RegString(HKLM, kAppPathsPath, L"", L"<missing>", KEY_WOW64_32KEY));
  EXPECT_FALSE(RegKeyExists(HKLM, L"Software\\Ovenix")) << "the program key goes even so";

  ASSERT_EQ(0u, layout.Run(L"remove").exitCode);
  EXPECT_TRUE(RegKeyExists(HKLM, kUninstallPath)) << "the uninstall driver deletes it, once the files are gone";
  EXPECT_FALSE(RegKeyExists(HKLM, kAppPathsPath));
  EXPECT_FALSE(RegKeyExists(HKLM, kAppPathsPath, KEY_WOW64_32KEY)) << "the 32-bit view's key goes too";
}

TEST_F(IntegrationEndToEnd, EstimatedSizeCountsTheListedFilesThatExist) {
  // Listed: two files of 1500 and 600 bytes, a folder, a missing file. Not listed: a large file and
  // the program itself, which a walk of the folder would count.
  const InstallationLayout layout({});
  ASSERT_TRUE(layout.ready());
  ASSERT_TRUE(MakeFolders(layout.Join(L"sub")));
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"a.bin"), std::string(1500, 'a')));
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"sub\\b.bin"), std::string(600, 'b')));
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"unlisted.bin"), std::string(100000, 'u')));
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"Uninstall.lst"), "a.bin\r\nsub\r\nsub\\b.bin  \r\nmissing.bin\r\n"));
  ASSERT_EQ(0u, layout.Run(L"uninstall-entry").exitCode);
  EXPECT_EQ(3u, RegDword(HKLM, kUninstallPath, L"EstimatedSize")) << "2100 bytes in whole kilobytes, rounded up";

  // Without a list: the program file alone.
  ASSERT_TRUE(DeleteFileW(layout.Join(L"Uninstall.lst").c_str()));
  ASSERT_EQ(0u, layout.Run(L"uninstall-entry").exitCode);
  const uint64_t programBytes = ReadFileBytes(layout.ExePath()).size();
  const uint64_t kilobytes = RegDword(HKLM, kUninstallPath, L"EstimatedSize");
  EXPECT_TRUE(kilobytes * 1024 >= programBytes && kilobytes * 1024 < programBytes + 1024)
      << kilobytes << " KB for a program of " << programBytes << " bytes";
}

// The version name from the string table is AppendVersionName's own test; here from a language file.
TEST_F(IntegrationEndToEnd, VersionNameFromTheLanguageFile) {
  const InstallationLayout layout({L"Ovenix.exe"});
  ASSERT_TRUE(layout.ready());
  ASSERT_TRUE(WriteFileBytes(layout.Join(L"uninstall.lng"),
                             "Language file of the test\r\n***messages***\r\n:STRINGS\r\n"
                             "IDS_BETA Vorabversion\r\nIDS_64BIT \"64 Bit\"\r\n"));
  ASSERT_EQ(0u, layout.Run(L"uninstall-entry", L"--lng").exitCode);
  EXPECT_EQ(L"Ovenix 6.01 Vorabversion 1 (64 Bit)", RegString(HKLM, kUninstallPath, L"DisplayName"));
  ASSERT_EQ(0u, layout.Run(L"remove").exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  const int childExit = RunChildIfAsked();
  if (childExit >= 0) return childExit;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
