// The program's main promise, end to end: in a prefix seeded with other programs' associations, a
// silent setup followed by a silent uninstall (and its self-removal batch file) leaves no value,
// no non-empty key, no file and no folder that was not there before, and gives every seeded
// association back. Prints what setup changed and what the round trip left, for the record.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/handles.h"
#include "e2e/mock_installation.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

const wchar_t kInstallFolder[] = L"C:\\Program Files\\Ovenix";

void Print(const char* title, const std::vector<std::wstring>& lines) {
  std::printf("-- %s: %u\n", title, static_cast<unsigned>(lines.size()));
  for (const std::wstring& line : lines) std::printf("   %s\n", Narrow(line).c_str());
  std::fflush(stdout);
}

struct MachineState {
  std::vector<std::wstring> registry;
  std::vector<std::wstring> files;
};

// The registry roots a setup writes to, and the folders it and the uninstaller touch.
MachineState Snapshot() {
  MachineState state;
  const struct {
    HKEY root;
    const wchar_t* name;
    const wchar_t* subkey;
  } roots[] = {{HKEY_CURRENT_USER, L"HKCU", L"Software"},
               {HKEY_LOCAL_MACHINE, L"HKLM", L"Software"},
               {HKEY_LOCAL_MACHINE, L"HKLM", L"System\\CurrentControlSet\\Control\\Session Manager"}};
  for (const auto& root : roots)
    for (const std::wstring& line : SnapshotRegistry(root.root, root.subkey))
      state.registry.push_back(std::wstring(root.name) + L"\\" + line);
  for (const wchar_t* folder : {L"C:\\users", L"C:\\ProgramData", L"C:\\Program Files"}) {
    const std::vector<std::wstring> files = ListFileTree(folder);
    state.files.insert(state.files.end(), files.begin(), files.end());
  }
  std::sort(state.registry.begin(), state.registry.end());
  std::sort(state.files.begin(), state.files.end());
  return state;
}

bool IsValueLine(const std::wstring& line) { return line.find(L" : ") != std::wstring::npos; }

// A key with a value anywhere in its subtree. A chain of keys without any value is empty: the
// shell-extension registration creates parent keys (such as "Drive\shellex\DragDropHandlers")
// that removal, deleting single keys only, leaves behind without content.
bool KeyHasContent(const std::wstring& key, const std::vector<std::wstring>& snapshot) {
  for (auto line = std::upper_bound(snapshot.begin(), snapshot.end(), key); line != snapshot.end(); ++line) {
    if (line->compare(0, key.size(), key) != 0) break;
    const wchar_t next = (*line)[key.size()];
    if (next != L'\\' && next != L' ') continue;  // a sibling whose name merely starts the same
    if (IsValueLine(*line)) return true;
  }
  return false;
}

// Registry lines that Wine itself changes while programs run, whatever they do: not the
// program's, so not part of the comparison.
bool IsPlatformNoise(const std::wstring& line) {
  static const wchar_t* const kNoise[] = {
      L"HKCU\\Software\\Wine\\",
      L"HKLM\\Software\\Wine\\",
      L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\",
  };
  for (const wchar_t* prefix : kNoise)
    if (line.compare(0, wcslen(prefix), prefix) == 0) return true;
  return false;
}

// A type name longer than the 511 characters the saved state holds.
const std::wstring kLongTypeName = L"Other.TarArchive." + std::wstring(583, L'x');

// Other programs' entries of kinds Windows allows but the saved state cannot hold exactly, and one
// odd but ordinary string: seeded by regedit from a version 5 file (UTF-16), the way an installer
// or a user puts them there, so that every type and character arrives as it is.
std::wstring SeedFile() {
  std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
  text += L"[HKEY_CLASSES_ROOT\\.zip\\ShellNew]\r\n\"NullFile\"=\"\"\r\n\"ItemName\"=\"@zipper.dll,-101\"\r\n\r\n";
  // REG_EXPAND_SZ "%SystemRoot%.7z"
  text += L"[HKEY_CLASSES_ROOT\\.7z]\r\n@=hex(2):";
  for (const wchar_t c : std::wstring(L"%SystemRoot%.7z")) {
    wchar_t bytes[16];
    swprintf(bytes, 16, L"%02x,00,", static_cast<unsigned>(c));
    text += bytes;
  }
  text += L"00,00\r\n\r\n";
  text += L"[HKEY_CLASSES_ROOT\\.tar]\r\n@=\"" + kLongTypeName + L"\"\r\n\r\n";
  text += L"[HKEY_CLASSES_ROOT\\.cab]\r\n@=dword:00000007\r\n\r\n";
  text += L"[HKEY_CLASSES_ROOT\\.arj]\r\n@=hex:41,52,4a\r\n\r\n";
  text += L"[HKEY_CLASSES_ROOT\\.lzh]\r\n@=\"Other \\\"LZH\\\" 100%; a=b [x] \u00c4rchiv\"\r\n\r\n";
  return text;
}

// The extensions seeded above, and which of them setup must leave exactly as they are.
const struct {
  const wchar_t* key;
  bool leftToItsOwner;
} kSeededKeys[] = {
    {L".zip\\ShellNew", true}, {L".7z", true}, {L".tar", true}, {L".cab", true}, {L".arj", true}, {L".lzh", false},
};

// The snapshot lines of HKCR\<key> and below (the classes live under HKLM's or HKCU's Software).
std::vector<std::wstring> ClassLines(const MachineState& state, const std::wstring& key) {
  std::vector<std::wstring> lines;
  for (const std::wstring& line : state.registry) {
    const size_t at = line.find(L"\\Classes\\" + key);
    if (at == std::wstring::npos) continue;
    const size_t end = at + wcslen(L"\\Classes\\") + key.size();
    if (end == line.size() || line[end] == L' ' || line[end] == L'\\') lines.push_back(line);
  }
  return lines;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    // Other programs' associations: ".zip" with a ProgID and a ShellNew entry of the kind Windows
    // writes for itself, ".iso" claimed (so setup does not pre-select it), and the seed file.
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"OtherZip.Archive\\shell\\open\\command", L"", L"other.exe \"%1\""));
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso", L"", L"DiscImage.File"));
    // Old-style volume extensions of other programs, one inside the range setup claims.
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v05", L"", L"Volume.Other"));
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v77", L"", L"Other77"));
    TempFolder seed(L"seed");
    const std::wstring text = L"\xFEFF" + SeedFile();
    ASSERT_TRUE(WriteFileBytes(seed.Join(L"seed.reg"), std::string(reinterpret_cast<const char*>(text.data()),
                                                                   text.size() * sizeof(wchar_t))));
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const ProcessResult imported =
        RunProcess(Quoted(std::wstring(windows) + L"\\regedit.exe") + L" /s " + Quoted(seed.Join(L"seed.reg")));
    ASSERT_TRUE(imported.finished && imported.exitCode == 0) << "regedit did not import the seed file";
    ASSERT_EQ(L".7z\n.7z : @ = EXPAND_SZ:%SystemRoot%.7z\n", JoinLines(SnapshotRegistry(HKEY_CLASSES_ROOT, L".7z")));
    ASSERT_EQ(kLongTypeName, RegString(HKEY_CLASSES_ROOT, L".tar", L""));

    // The installation as the installer leaves it.
    const std::wstring folder = kInstallFolder;
    ASSERT_TRUE(MakeFolders(folder + L"\\Formats"));
    ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), (folder + L"\\uninstall.exe").c_str(), FALSE));
    for (const wchar_t* name : {L"Ovenix.exe", L"vokext.dll", L"vokext32.dll", L"ovenix.chm", L"Vok.txt",
                                L"WhatsNew.txt", L"license.txt", L"Formats\\readme.txt"})
      ASSERT_TRUE(WriteFileBytes(folder + L"\\" + name, "mock file of the archiver\r\n"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\Uninstall.lst",
                               "Ovenix.exe\r\nvokext.dll\r\nvokext32.dll\r\novenix.chm\r\nVok.txt\r\nWhatsNew.txt\r\n"
                               "license.txt\r\nFormats\r\nFormats\\readme.txt\r\nvoknew.dat\r\nzipnew.dat\r\n"
                               "uninstall.exe\r\nUninstall.lst\r\n"));
  }
};

TEST_F(RoundTrip, SetupThenUninstallLeavesTheMachineAsItWas) {
  // The "before" state is taken with the installation in place: the installer made it, and the
  // uninstaller's promise is to remove it too (checked separately below).
  const MachineState before = Snapshot();
  const std::wstring exe = std::wstring(kInstallFolder) + L"\\uninstall.exe";

  const ProcessResult setup = RunProcess(Quoted(exe) + L" -setup -s", kInstallFolder);
  ASSERT_TRUE(setup.finished) << "silent setup did not end";
  ASSERT_EQ(0u, setup.exitCode);
  // The installed-programs entry as tools read it: quoted commands, the silent one among them.
  const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver";
  EXPECT_EQ(Quoted(exe), RegString(HKEY_LOCAL_MACHINE, kEntry, L"UninstallString"));
  EXPECT_EQ(Quoted(exe) + L" /S", RegString(HKEY_LOCAL_MACHINE, kEntry, L"QuietUninstallString"));
  const uint64_t kilobytes = RegDword(HKEY_LOCAL_MACHINE, kEntry, L"EstimatedSize");
  const uint64_t programBytes = ReadFileBytes(exe).size();
  EXPECT_TRUE(kilobytes * 1024 >= programBytes && kilobytes * 1024 < programBytes + 2048)
      << kilobytes << " KB for the listed program of " << programBytes << " bytes and a few small files";
  EXPECT_EQ(TodayAsYyyyMmDd(), RegString(HKEY_LOCAL_MACHINE, kEntry, L"InstallDate"));
  const MachineState installed = Snapshot();
  std::vector<std::wstring> setupAdded = LinesAdded(before.registry, installed.registry);
  setupAdded.erase(std::remove_if(setupAdded.begin(), setupAdded.end(), IsPlatformNoise), setupAdded.end());
  Print("registry lines added by setup", setupAdded);
  Print("files added by setup", LinesAdded(before.files, installed.files));
  EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L"")) << "setup did not take \".zip\" over";
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".lzh", L"")) << "setup did not take \".lzh\" over";
  EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, L".v04", L""));
  EXPECT_EQ(L"Volume.Other", RegString(HKEY_CLASSES_ROOT, L".v05", L""));
  // Left to its owner, but offered in "Open with" all the same.
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".7z\\OpenWithProgids", L"Ovenix"));
  // What the saved state cannot give back exactly is left to its owner, type and data unchanged.
  for (const auto& seeded : kSeededKeys) {
    if (!seeded.leftToItsOwner) continue;
    std::vector<std::wstring> installedLines = ClassLines(installed, seeded.key);
    installedLines.erase(std::remove_if(installedLines.begin(), installedLines.end(),
                                        [](const std::wstring& line) {
                                          return line.find(L"\\OpenWithProgids") != std::wstring::npos;
                                        }),
                         installedLines.end());
    EXPECT_EQ(JoinLines(ClassLines(before, seeded.key)), JoinLines(installedLines))
        << Narrow(seeded.key) << " changed by setup";
  }

  const std::vector<std::wstring> batchFolders = BatchFolders();
  const ProcessResult uninstall = RunProcess(Quoted(exe) + L" -s", kInstallFolder);
  ASSERT_TRUE(uninstall.finished) << "silent uninstall did not end";
  EXPECT_EQ(0u, uninstall.exitCode);
  // The batch file re-runs the program with "/wait", deletes it and the folder, then itself and
  // its own folder.
  EXPECT_TRUE(WaitForSelfRemoval(kInstallFolder, batchFolders, 60000))
      << "the self-removal batch file did not finish: folder " << FileExists(kInstallFolder) << ", batch folders "
      << NewBatchFolders(batchFolders).size();
  Sleep(500);  // let cmd.exe end after removing its own batch folder

  const MachineState after = Snapshot();
  std::vector<std::wstring> leftValues, leftKeys;
  for (const std::wstring& line : LinesAdded(before.registry, after.registry)) {
    if (IsPlatformNoise(line)) continue;
    if (IsValueLine(line))
      leftValues.push_back(line);
    else if (KeyHasContent(line, after.registry))
      leftKeys.push_back(line);
  }
  std::vector<std::wstring> emptyKeys;
  for (const std::wstring& line : LinesAdded(before.registry, after.registry))
    if (!IsPlatformNoise(line) && !IsValueLine(line) && !KeyHasContent(line, after.registry)) emptyKeys.push_back(line);
  std::vector<std::wstring> gone = LinesAdded(after.registry, before.registry);
  gone.erase(std::remove_if(gone.begin(), gone.end(), IsPlatformNoise), gone.end());
  const std::vector<std::wstring> filesLeft = LinesAdded(before.files, after.files);
  std::vector<std::wstring> filesGone = LinesAdded(after.files, before.files);

  Print("registry values left after the round trip", leftValues);
  Print("non-empty registry keys left after the round trip", leftKeys);
  Print("empty registry keys left (allowed)", emptyKeys);
  Print("registry lines of before that are gone", gone);
  Print("files and folders left after the round trip", filesLeft);
  Print("files and folders of the installation that are gone", filesGone);

  EXPECT_EQ(L"", JoinLines(leftValues));
  EXPECT_EQ(L"", JoinLines(leftKeys));
  EXPECT_EQ(L"", JoinLines(filesLeft));
  EXPECT_EQ(L"", JoinLines(gone)) << "something that was there before (every seeded association) changed";
  // The installation is gone, the folder with it, and nothing else is.
  EXPECT_FALSE(FileExists(kInstallFolder));
  for (const std::wstring& file : filesGone)
    EXPECT_EQ(0u, file.rfind(std::wstring(kInstallFolder) + L"\\", 0)) << Narrow(file) << " is not the installation's";
}

}  // namespace
