// A silent uninstall of mock installations with the real uninstall.exe: the integration, every
// listed file and folder, the list, the program and its folder all go; nothing else does.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <vector>

#include "base/handles.h"
#include "e2e/e2e_test_common.h"

namespace {

struct FolderCase {
  const char* label;
  const wchar_t* folder;
  bool integrated;  // the integration is laid down first (once is enough: it names no folder)
  const wchar_t* temporaryFolder = nullptr;  // the user's temporary folder; null: the prefix's own
  const wchar_t* comspecFolder = nullptr;    // a copy of cmd.exe there is COMSPEC; null: the system's
  bool confirmed = false;                    // asked and answered "Yes" instead of silent
};

class SilentRemoval : public testing::TestWithParam<FolderCase> {};

TEST_P(SilentRemoval, LeavesNothingBehind) {
  const FolderCase& c = GetParam();
  const std::wstring folder = c.folder;
  std::unique_ptr<UserTemporaryFolder> temporary;
  if (c.temporaryFolder) {
    temporary = std::make_unique<UserTemporaryFolder>(c.temporaryFolder);
    ASSERT_TRUE(temporary->ready());
    ASSERT_EQ(std::wstring(c.temporaryFolder) + L"\\Uninstall_Vok.Bat", SelfRemovalBatchPath());
  }
  EnvironmentChanges environment;
  if (c.comspecFolder) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring comspec = std::wstring(c.comspecFolder) + L"\\cmd.exe";
    ASSERT_TRUE(MakeFolders(c.comspecFolder));
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\cmd.exe").c_str(), comspec.c_str(), FALSE));
    environment.push_back({L"COMSPEC", comspec});
  }
  const SystemState before = CaptureSystemState();
  {
    MockInstallation installation(folder);
    ASSERT_TRUE(installation.ready());
    // An unquoted COMSPEC "...\odd shell\Command Shell & ...\cmd.exe" would start this instead (an
    // agent, which does nothing with such a command line).
    if (c.comspecFolder) {
      ASSERT_TRUE(installation.AddAgent(L"..\\Command.exe"));
    }
    if (c.integrated) {
      ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before));
    }
    ASSERT_TRUE(installation.AddFolder(L"lang"));
    ASSERT_TRUE(installation.AddFile(L"lang\\voklng.dll"));
    ASSERT_TRUE(installation.AddFile(L"lang\\uninstall.lng"));
    ASSERT_TRUE(installation.AddFile(L"ovenix.gid"));  // not listed: removed by name
    ASSERT_TRUE(installation.AddFile(L"ovenix.fts"));
    ASSERT_TRUE(SetFileAttributesW(installation.Join(L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    // The folder comes before its contents: it goes in a later pass.
    std::vector<std::wstring> extra = {L"lang", L"lang\\voklng.dll", L"lang\\uninstall.lng"};
    if (c.integrated) extra.push_back(L"agent.exe");
    const std::vector<std::wstring> list = installation.StandardList(extra);
    ASSERT_TRUE(installation.WriteList(list));

    const AnsweredRun run = RunAnswering(installation, c.confirmed ? L"" : L"/S", IDYES, environment);
    ASSERT_TRUE(run.result.finished) << "a message box was left unanswered";
    EXPECT_EQ(0u, run.result.exitCode);
    EXPECT_EQ(c.confirmed ? 1u : 0u, run.seen.size()) << "only the confirmation is ever shown";

    for (const std::wstring& name : list) {
      if (name == L"uninstall.exe") continue;  // the batch file's job
      EXPECT_FALSE(FileExists(installation.Join(name))) << Printable(name) << " is still there";
    }
    for (const wchar_t* name : {L"Uninstall.lst", L"ovenix.gid", L"ovenix.fts"}) {
      EXPECT_FALSE(FileExists(installation.Join(name))) << Printable(name) << " is still there";
    }
    const SystemState after = CaptureSystemState();
    EXPECT_EQ(before.registry, after.registry) << Printable(Differences(before.registry, after.registry));
    EXPECT_EQ(before.shortcuts, after.shortcuts) << Printable(Differences(before.shortcuts, after.shortcuts));

    EXPECT_TRUE(WaitForSelfRemoval(folder)) << "the batch file did not remove the program, its folder and itself";
    EXPECT_FALSE(FileExists(installation.UninstallExe()));
    if (c.comspecFolder) DeleteFileW(installation.Join(L"..\\Command.exe").c_str());
  }
}

// cmd strips the outer quotes of a "/c" line holding "&" or parentheses and expands "%" and "!"
// inside quotes: a temporary folder such as a user name with these gives must still run the batch.
constexpr wchar_t kOddTemporaryFolder[] = L"C:\\vok-e2e\\Temp & Co (1) 100% !OS! ^x";
constexpr wchar_t kOddComspecFolder[] = L"C:\\vok-e2e\\odd shell\\Command Shell & Co (x86) 100%";

const FolderCase kFolders[] = {
    {"Blanks", L"C:\\Program Files\\Ovenix", true},
    {"NonAsciiLetter", L"C:\\vok-e2e\\Ovenix \u00f6\u00e9", false},
    {"Percent", L"C:\\vok-e2e\\100% Ovenix %TEMP%", false},
    {"NoOemForm", L"C:\\vok-e2e\\\u0141\u00f3d\u017a", false},  // written as its short form
    {"OddTemporaryFolderSilent", L"C:\\vok-e2e\\odd temp\\Ovenix", false, kOddTemporaryFolder},
    {"OddTemporaryFolderConfirmed", L"C:\\vok-e2e\\odd temp\\Ovenix", false, kOddTemporaryFolder, nullptr, true},
    {"OddComspec", L"C:\\vok-e2e\\odd shell\\Ovenix", false, nullptr, kOddComspecFolder},
};
INSTANTIATE_TEST_SUITE_P(Folders, SilentRemoval, testing::ValuesIn(kFolders),
                         [](const testing::TestParamInfo<FolderCase>& info) { return info.param.label; });

TEST(PortableInstallation, TheSettingsFileIsNotWrittenBackAfterTheFolderWasEmptied) {
  const std::wstring folder = L"C:\\vok-e2e\\portable\\Ovenix";
  MockInstallation installation(folder);
  ASSERT_TRUE(installation.ready());
  // With "Ovenix.ini" beside the program the settings live in it; the removal of the user's
  // settings changes it, and the store would write it back at process exit.
  ASSERT_TRUE(installation.AddFile(L"Ovenix.ini", "HKCU\\General\\Sample=1\r\nHKCU\\Setup\\Desktop=1\r\n"));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"Ovenix.ini"})));

  const ProcessResult result = installation.RunUninstall(L"/S");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.ini")));
  EXPECT_TRUE(WaitForSelfRemoval(folder)) << "the folder stayed: " << Printable(installation.Join(L"Ovenix.ini"))
                                          << (FileExists(installation.Join(L"Ovenix.ini")) ? " is back" : "");
}

TEST(HostileList, LeavesADecoyOutsideTheFolderUntouched) {
  const std::wstring victim = L"C:\\vok-e2e\\decoy\\victim.txt";
  ASSERT_TRUE(MakeFolders(L"C:\\vok-e2e\\decoy"));
  ASSERT_TRUE(WriteFileBytes(victim, "decoy"));
  MockInstallation installation(L"C:\\vok-e2e\\hostile\\Ovenix");
  ASSERT_TRUE(installation.ready());
  ASSERT_TRUE(installation.AddFile(L"file", "inside"));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({
      victim,
      L"..\\..\\decoy\\victim.txt",
      L"C:victim.txt",
      L"\\vok-e2e\\decoy\\victim.txt",
      L"\\\\?\\" + victim,
      L"\\\\.\\" + victim,
      L"file:stream",
      L"file::$DATA",
  })));
  const ProcessResult result = installation.RunUninstall(L"/S");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  EXPECT_EQ("decoy", ReadFileBytes(victim));
  EXPECT_EQ("inside", ReadFileBytes(installation.Join(L"file"))) << "a stream line touches not even its file";
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.exe"))) << "the ordinary lines still work";
  // The unlisted "file" keeps the folder; the batch file still deletes the program and itself.
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(SelfRemovalBatchPath()); }, 30000));
  EXPECT_FALSE(FileExists(installation.UninstallExe()));
  DeleteTreeForTest(L"C:\\vok-e2e\\decoy");
}

TEST(DriveRoot, RemovesTheListedFilesAndKeepsTheRoot) {
  const std::wstring root = MappedTestDriveRoot();
  if (root.empty()) GTEST_SKIP() << "the test run mapped no drive letter M: (cross builds under Wine only)";
  MockInstallation installation(root);
  ASSERT_TRUE(installation.ready());
  ASSERT_TRUE(installation.WriteList(installation.StandardList()));
  // Wine's cmd removes the folder behind a drive letter when it is empty ("rd M:\" succeeds), where
  // Windows refuses to remove a root; a root holds more than the installation anyway.
  ASSERT_TRUE(installation.AddFile(L"unrelated.txt", "not the archiver's"));

  // Without COMSPEC the batch file stays unstarted, so its lines can be read; then run it here.
  const ProcessResult result = installation.RunUninstall(L"/S", {{L"COMSPEC", L""}});
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(82u, result.exitCode) << "ERROR_CANNOT_MAKE: the batch file did not start";
  for (size_t i = 0; i < kMockInstallationFileCount; ++i) {
    EXPECT_FALSE(FileExists(installation.Join(kMockInstallationFiles[i]))) << Printable(kMockInstallationFiles[i]);
  }
  const std::wstring batch = SelfRemovalBatchPath();
  const std::string bytes = ReadFileBytes(batch);
  EXPECT_EQ(ExpectedBatch(installation.UninstallExe(), root, batch, /*silent=*/true), bytes);
  EXPECT_NE(std::string::npos, bytes.find("\r\nrd \"" + OemBatchText(root) + "\"\r\n")) << bytes;

  const ProcessResult batchRun = RunBatch(batch);
  EXPECT_TRUE(batchRun.finished);
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(batch) && !FileExists(installation.UninstallExe()); }, 30000));
  EXPECT_TRUE(FolderExists(root)) << "a drive root stays";
  EXPECT_EQ("not the archiver's", ReadFileBytes(installation.Join(L"unrelated.txt")));
}

// A running process whose image is the given file, and the process that started it.
struct RunningProcess {
  DWORD id;
  DWORD parent;
};

std::vector<RunningProcess> ProcessesOf(const std::wstring& image) {
  std::vector<RunningProcess> found;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    wchar_t path[2048] = {};
    DWORD size = 2048;
    if (process && QueryFullProcessImageNameW(process.get(), 0, path, &size) &&
        CompareStringOrdinal(path, -1, image.c_str(), -1, /*ignoreCase=*/TRUE) == CSTR_EQUAL) {
      found.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
  }
  return found;
}

TEST(InterruptedUninstall, IsFinishedByRunningItAgain) {
  const SystemState before = CaptureSystemState();
  const std::wstring folder = L"C:\\vok-e2e\\interrupted\\Ovenix";
  MockInstallation installation(folder);
  ASSERT_TRUE(installation.ready());
  ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"agent.exe"})));

  const ProcessResult first = installation.RunUninstall(L"/S");
  ASSERT_TRUE(first.finished);
  ASSERT_EQ(0u, first.exitCode);
  // Killed during the batch file's two-second pause, as a deployment time-out would: its command
  // interpreter first, so that nothing deletes the program once the pausing run is gone too.
  std::vector<RunningProcess> pausing;
  ASSERT_TRUE(WaitUntil(
      [&] {
        pausing = ProcessesOf(installation.UninstallExe());
        return !pausing.empty();
      },
      10000))
      << "the batch file's pause was not seen";
  for (DWORD id : {pausing[0].parent, pausing[0].id}) {
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    ASSERT_TRUE(process.valid()) << "process " << id;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 10000);
  }
  ASSERT_TRUE(FileExists(installation.UninstallExe())) << "killed too late: the batch file had removed the program";
  ASSERT_FALSE(FileExists(installation.Join(L"Uninstall.lst")));

  const AnsweredRun second = RunAnswering(installation, L"/S", IDYES);
  ASSERT_TRUE(second.result.finished) << "a message box was left unanswered";
  EXPECT_EQ(0u, second.result.exitCode);
  EXPECT_TRUE(second.seen.empty()) << "a silent run shows nothing";
  EXPECT_TRUE(WaitForSelfRemoval(folder)) << "the batch file did not remove the program, its folder and itself";
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(before.registry, after.registry) << Printable(Differences(before.registry, after.registry));
  EXPECT_EQ(before.shortcuts, after.shortcuts) << Printable(Differences(before.shortcuts, after.shortcuts));
}

// A process the test starts suspended, so that it decides when the process runs.
struct StartedProcess {
  UniqueKernelHandle process;
  UniqueKernelHandle thread;
};

StartedProcess StartSuspended(const std::wstring& commandLine, const std::wstring& folder) {
  std::wstring mutableCommandLine = commandLine;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  StartedProcess started;
  if (CreateProcessW(nullptr, &mutableCommandLine[0], nullptr, nullptr, /*inheritHandles=*/FALSE, CREATE_SUSPENDED,
                     nullptr, folder.c_str(), &startup, &info)) {
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
  }
  return started;
}

// The exit code, or 259 (still active) when the process did not end within the time-out.
DWORD WaitForExit(const StartedProcess& started, DWORD timeoutMs) {
  DWORD exitCode = STILL_ACTIVE;
  if (WaitForSingleObject(started.process.get(), timeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(started.process.get(), &exitCode);
  } else {
    TerminateProcess(started.process.get(), STILL_ACTIVE);
  }
  return exitCode;
}

// Whether a run holds the program's run mutex (in the global namespace, or the session's own).
bool RunMutexHeld() {
  for (const wchar_t* name : {L"Global\\OvenixSetupRun", L"Local\\OvenixSetupRun"}) {
    UniqueKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, name));
    if (mutex) return true;
  }
  return false;
}

TEST(OneRunAtATime, OfTwoSilentUninstallsStartedTogetherOneEndsWith1618AndTheOtherRemovesAll) {
  const SystemState before = CaptureSystemState();
  const std::wstring folder = L"C:\\vok-e2e\\twice\\Ovenix";
  MockInstallation installation(folder);
  ASSERT_TRUE(installation.ready());
  ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"agent.exe"})));

  const std::wstring silent = Quoted(installation.UninstallExe()) + L" /S";
  StartedProcess first = StartSuspended(silent, folder);
  StartedProcess second = StartSuspended(silent, folder);
  ASSERT_TRUE(first.process.valid() && second.process.valid());
  // The first run is frozen as soon as it holds the mutex, so the second surely meets it there.
  ResumeThread(first.thread.get());
  bool held = false;
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (!held && GetTickCount64() < deadline && WaitForSingleObject(first.process.get(), 0) == WAIT_TIMEOUT) {
    held = RunMutexHeld();
    if (!held) Sleep(1);
  }
  if (held) SuspendThread(first.thread.get());
  ResumeThread(second.thread.get());
  const DWORD secondExit = WaitForExit(second, 30000);
  // Another setup is refused as well; the batch file's pause never is.
  const ProcessResult setup = installation.RunUninstall(L"-setup -s", {}, 30000);
  const ULONGLONG waitStart = GetTickCount64();
  const ProcessResult wait = installation.RunUninstall(L"-wait", {}, 30000);
  const ULONGLONG waited = GetTickCount64() - waitStart;
  ResumeThread(first.thread.get());
  const DWORD firstExit = WaitForExit(first, 60000);

  ASSERT_TRUE(held) << "the first run ended before it was seen holding the mutex";
  EXPECT_EQ(1618u, secondExit) << "ERROR_INSTALL_ALREADY_RUNNING";
  EXPECT_EQ(1618u, setup.exitCode);
  EXPECT_EQ(0u, wait.exitCode);
  EXPECT_GE(waited, 1900u) << "the batch file's pause was refused";
  EXPECT_EQ(0u, firstExit);
  EXPECT_TRUE(WaitForSelfRemoval(folder)) << "the batch file did not remove the program, its folder and itself";
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(before.registry, after.registry) << Printable(Differences(before.registry, after.registry));
  EXPECT_EQ(before.shortcuts, after.shortcuts) << Printable(Differences(before.shortcuts, after.shortcuts));
}

}  // namespace
