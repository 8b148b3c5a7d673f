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
  bool comspecRecorder = false;  // COMSPEC names a program beside the folder that records its start
  bool confirmed = false;        // asked and answered "Yes" instead of silent
};

class SilentRemoval : public testing::TestWithParam<FolderCase> {};

TEST_P(SilentRemoval, LeavesNothingBehind) {
  const FolderCase& c = GetParam();
  const std::wstring folder = c.folder;
  std::unique_ptr<UserTemporaryFolder> temporary;
  if (c.temporaryFolder) {
    temporary = std::make_unique<UserTemporaryFolder>(c.temporaryFolder);
    ASSERT_TRUE(temporary->ready());
    ASSERT_EQ(std::wstring(c.temporaryFolder) + L"\\", TemporaryFolder());
  }
  const SystemState before = CaptureSystemState();
  const std::vector<std::wstring> batchFolders = BatchFolders();
  {
    MockInstallation installation(folder);
    ASSERT_TRUE(installation.ready());
    // An elevated run must not start what the user's environment names as the command interpreter.
    EnvironmentChanges environment;
    const std::wstring comspec = installation.Join(L"..\\cmd.exe");
    if (c.comspecRecorder) {
      ASSERT_TRUE(installation.AddAgent(L"..\\cmd.exe"));
      environment.push_back({L"COMSPEC", comspec});
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
    ExpectMachineAsBefore(before);

    EXPECT_TRUE(WaitForSelfRemoval(folder, batchFolders))
        << "the batch file did not remove the program, its folder and itself";
    EXPECT_FALSE(FileExists(installation.UninstallExe()));
    if (c.comspecRecorder) {
      EXPECT_FALSE(FileExists(comspec + L".started")) << "the program COMSPEC names was started";
      DeleteFileW(comspec.c_str());
    }
  }
}

// cmd strips the outer quotes of a "/c" line holding "&" or parentheses and expands "%" and "!"
// inside quotes: a temporary folder such as a user name with these gives must still run the batch.
constexpr wchar_t kOddTemporaryFolder[] = L"C:\\vok-e2e\\Temp & Co (1) 100% !OS! ^x";

const FolderCase kFolders[] = {
    {"Blanks", L"C:\\Program Files\\Ovenix", true},
    {"NonAsciiLetter", L"C:\\vok-e2e\\Ovenix \u00f6\u00e9", false},
    {"Percent", L"C:\\vok-e2e\\100% Ovenix %TEMP%", false},
    {"NoOemForm", L"C:\\vok-e2e\\\u0141\u00f3d\u017a", false},  // written as its short form
    {"OddTemporaryFolderSilent", L"C:\\vok-e2e\\odd temp\\Ovenix", false, kOddTemporaryFolder},
    {"OddTemporaryFolderConfirmed", L"C:\\vok-e2e\\odd temp\\Ovenix", false, kOddTemporaryFolder, false, true},
    {"ComspecNeverStarted", L"C:\\vok-e2e\\shell\\Ovenix", false, nullptr, true},
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

  const std::vector<std::wstring> batchFolders = BatchFolders();
  const ProcessResult result = installation.RunUninstall(L"/S");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.ini")));
  EXPECT_TRUE(WaitForSelfRemoval(folder, batchFolders))
      << "the folder stayed: " << Printable(installation.Join(L"Ovenix.ini"))
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
  const std::vector<std::wstring> batchFolders = BatchFolders();
  const ProcessResult result = installation.RunUninstall(L"/S");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  EXPECT_EQ("decoy", ReadFileBytes(victim));
  EXPECT_EQ("inside", ReadFileBytes(installation.Join(L"file"))) << "a stream line touches not even its file";
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.exe"))) << "the ordinary lines still work";
  // The unlisted "file" keeps the folder; the batch file still deletes the program and itself.
  EXPECT_TRUE(WaitUntil([&] { return NoNewBatchFolderLeft(batchFolders); }, 30000));
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

  const std::vector<std::wstring> batchFolders = BatchFolders();
  const ProcessResult result = installation.RunUninstall(L"/S");
  std::wstring batch;
  const std::string bytes = ReadNewBatch(batchFolders, &batch);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  for (size_t i = 0; i < kMockInstallationFileCount; ++i) {
    EXPECT_FALSE(FileExists(installation.Join(kMockInstallationFiles[i]))) << Printable(kMockInstallationFiles[i]);
  }
  EXPECT_NE(std::string::npos, bytes.find("\r\nrd \"M:\\\"\r\n")) << bytes;

  EXPECT_TRUE(WaitUntil(
      [&] { return !FileExists(installation.UninstallExe()) && NoNewBatchFolderLeft(batchFolders); }, 30000));
  EXPECT_TRUE(FolderExists(root)) << "a drive root stays";
  EXPECT_EQ("not the archiver's", ReadFileBytes(installation.Join(L"unrelated.txt")));
}

// A copy of the program in another folder (or an older installation beside the newer one the
// integration names) removes itself and nothing of the installation the integration points at,
// and says so; that installation's own uninstall still takes everything away.
TEST(StrayCopy, LeavesTheIntegrationOfTheInstallationItPointsAt) {
  const SystemState before = CaptureSystemState();
  MockInstallation installation(L"C:\\vok-e2e\\live\\Ovenix");
  ASSERT_NO_FATAL_FAILURE(IntegrateAndList(installation, before));
  const SystemState integrated = CaptureSystemState();
  const std::wstring copy = L"C:\\vok-e2e\\stray\\Ovenix";
  ASSERT_TRUE(MakeFolders(copy));
  ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), (copy + L"\\uninstall.exe").c_str(), FALSE));

  std::vector<std::wstring> batchFolders = BatchFolders();
  MessageBoxDriver driver(copy, IDYES);
  const ProcessResult copyRun = RunProcess(Quoted(copy + L"\\uninstall.exe"), copy);
  const std::vector<SeenMessage> seen = driver.Seen();
  ASSERT_TRUE(copyRun.finished) << "a message box was left unanswered";
  EXPECT_EQ(0u, copyRun.exitCode);
  ASSERT_EQ(2u, seen.size()) << "the confirmation, then whose integration stays";
  EXPECT_NE(std::wstring::npos, seen[1].text.find(installation.folder())) << Printable(seen[1].text);
  EXPECT_TRUE(WaitForSelfRemoval(copy, batchFolders)) << "the copy did not remove itself";
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(integrated.registry, after.registry) << Printable(Differences(integrated.registry, after.registry));
  EXPECT_EQ(integrated.shortcuts, after.shortcuts) << Printable(Differences(integrated.shortcuts, after.shortcuts));
  for (const std::wstring& name : installation.StandardList({L"agent.exe", L"Uninstall.lst"}))
    EXPECT_TRUE(FileExists(installation.Join(name))) << Printable(name) << " of the installation is gone";

  batchFolders = BatchFolders();
  const ProcessResult own = installation.RunUninstall(L"/S");
  ASSERT_TRUE(own.finished);
  EXPECT_EQ(0u, own.exitCode);
  EXPECT_TRUE(WaitForSelfRemoval(installation.folder(), batchFolders));
  ExpectMachineAsBefore(before);
}

// Without a usable temporary folder nothing can remove the program: the run ends with 82 and the
// installed-programs entry stays, so that the user can start the uninstall again and finish it.
TEST(NoTemporaryFolder, KeepsTheEntryUntilALaterRunFinishes) {
  const SystemState before = CaptureSystemState();
  MockInstallation installation(L"C:\\vok-e2e\\notemp\\Ovenix");
  ASSERT_NO_FATAL_FAILURE(IntegrateAndList(installation, before));
  const std::wstring missing = L"C:\\vok-e2e\\no such temp";
  const ProcessResult first = installation.RunUninstall(L"/S", {{L"TEMP", missing}, {L"TMP", missing}});
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(82u, first.exitCode) << "ERROR_CANNOT_MAKE";
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE,
                           L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver"));
  EXPECT_TRUE(FileExists(installation.UninstallExe()));
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.exe")));

  const std::vector<std::wstring> batchFolders = BatchFolders();
  const ProcessResult second = installation.RunUninstall(L"/S");
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(0u, second.exitCode);
  EXPECT_TRUE(WaitForSelfRemoval(installation.folder(), batchFolders));
  ExpectMachineAsBefore(before);
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
  ASSERT_NO_FATAL_FAILURE(IntegrateAndList(installation, before));

  const std::vector<std::wstring> batchFolders = BatchFolders();
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
  // The killed run's batch folder stays in the temporary folder (the system's clean-up of temporary
  // files takes it); the next run leaves it alone.
  const std::vector<std::wstring> killed = NewBatchFolders(batchFolders);
  ASSERT_EQ(1u, killed.size());
  const std::wstring killedBatch = killed[0] + L"\\Uninstall_Vok.Bat";
  const std::string killedBytes = ReadFileBytes(killedBatch);
  ASSERT_NE("", killedBytes);
  const std::vector<std::wstring> batchFoldersAfterKill = BatchFolders();

  const AnsweredRun second = RunAnswering(installation, L"/S", IDYES);
  ASSERT_TRUE(second.result.finished) << "a message box was left unanswered";
  EXPECT_EQ(0u, second.result.exitCode);
  EXPECT_TRUE(second.seen.empty()) << "a silent run shows nothing";
  EXPECT_TRUE(WaitForSelfRemoval(folder, batchFoldersAfterKill))
      << "the batch file did not remove the program, its folder and itself";
  EXPECT_EQ(killedBytes, ReadFileBytes(killedBatch)) << "the killed run's batch file was touched";
  DeleteTreeForTest(killed[0]);
  ExpectMachineAsBefore(before);
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
  ASSERT_NO_FATAL_FAILURE(IntegrateAndList(installation, before));

  const std::vector<std::wstring> batchFolders = BatchFolders();
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
  EXPECT_TRUE(WaitForSelfRemoval(folder, batchFolders))
      << "the batch file did not remove the program, its folder and itself";
  ExpectMachineAsBefore(before);
}

}  // namespace
