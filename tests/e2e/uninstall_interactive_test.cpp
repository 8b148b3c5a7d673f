// Uninstall runs that talk to the user or meet trouble: the confirmation declined or not shown,
// the list missing, files in use (with and without the reboot notice and the restart code), and
// the bytes cmd reads in the batch file.
#include <gtest/gtest.h>

#include "base/handles.h"
#include "e2e/e2e_test_common.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/pending_renames.h"

namespace {

std::wstring Text(uint32_t id) { return LocalizedString(id); }

struct UnconfirmedCase {
  const char* label;
  bool boxShown;  // false: the agent runs the uninstall driver on a thread where no window can be made
  DWORD exitCode;
};

class Unconfirmed : public testing::TestWithParam<UnconfirmedCase> {};

TEST_P(Unconfirmed, RemovesNothing) {
  const UnconfirmedCase& c = GetParam();
  const SystemState before = CaptureSystemState();
  MockInstallation installation(L"C:\\vok-e2e\\declined\\Ovenix");
  ASSERT_TRUE(installation.ready());
  IntegrationCleanup cleanup(installation);
  SystemState applied;
  ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before, &applied));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"agent.exe"})));
  const std::vector<std::wstring> batchFolders = BatchFolders();

  AnsweredRun run;
  if (c.boxShown) {
    run = RunAnswering(installation, L"", IDNO);
  } else {
    MessageBoxDriver driver(installation.folder(), IDYES);  // a box that did show would be answered "Yes"
    run.result = installation.RunAgent(L"agent.exe", L"uninstall-unasked");
    run.seen = driver.Seen();
  }
  ASSERT_TRUE(run.result.finished) << "a message box was left unanswered";
  EXPECT_EQ(c.exitCode, run.result.exitCode);
  const std::vector<SeenMessage>& seen = run.seen;
  ASSERT_EQ(c.boxShown ? 1u : 0u, seen.size());
  if (c.boxShown) {
    EXPECT_EQ(Text(IDS_CONTINUEUNINSTALL), seen[0].text);
    EXPECT_EQ(Text(IDS_UNINSTALLVOK), seen[0].caption);
  }
  for (size_t i = 0; i < kMockInstallationFileCount; ++i) {
    EXPECT_TRUE(FileExists(installation.Join(kMockInstallationFiles[i]))) << Printable(kMockInstallationFiles[i]);
  }
  EXPECT_TRUE(FileExists(installation.Join(L"Uninstall.lst")));
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(applied.registry, after.registry) << Printable(Differences(applied.registry, after.registry));
  EXPECT_EQ(applied.shortcuts, after.shortcuts);
  EXPECT_EQ(batchFolders, BatchFolders()) << "a batch folder was made";
}

// A confirmation that could not be asked is no "No": 1459 tells the tool that nothing was removed
// because nobody could be asked. (Windows' MessageBoxW gives 0 for such a box; Wine's, whose
// window the agent refuses here, gives -1.)
const UnconfirmedCase kUnconfirmed[] = {
    {"AnsweredNo", true, 0},
    {"BoxCannotBeShown", false, 1459},
};
INSTANTIATE_TEST_SUITE_P(Confirmation, Unconfirmed, testing::ValuesIn(kUnconfirmed),
                         [](const testing::TestParamInfo<UnconfirmedCase>& info) { return info.param.label; });

class MissingList : public testing::TestWithParam<bool> {};

TEST_P(MissingList, RemovesNothingAndEndsWith2ShowingTheErrorOnlyWhenAsking) {
  const bool silent = GetParam();
  const SystemState before = CaptureSystemState();
  MockInstallation installation(L"C:\\vok-e2e\\nolist\\Ovenix");
  ASSERT_TRUE(installation.ready());
  IntegrationCleanup cleanup(installation);
  SystemState applied;
  ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before, &applied));
  const std::vector<std::wstring> batchFolders = BatchFolders();

  const AnsweredRun run = RunAnswering(installation, silent ? L"-s" : L"", IDYES);
  ASSERT_TRUE(run.result.finished) << "a message box was left unanswered";
  EXPECT_EQ(2u, run.result.exitCode) << "ERROR_FILE_NOT_FOUND";
  const std::vector<SeenMessage>& seen = run.seen;
  if (silent) {
    EXPECT_TRUE(seen.empty()) << "a silent run shows nothing";
  } else {
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(Text(IDS_CONTINUEUNINSTALL), seen[0].text);
    EXPECT_NE(std::wstring::npos, seen[1].text.find(L"Uninstall.lst")) << Printable(seen[1].text);
    EXPECT_EQ(IDOK, seen[1].answer) << "an error box has only an OK button";
  }
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(applied.registry, after.registry) << Printable(Differences(applied.registry, after.registry));
  EXPECT_EQ(applied.shortcuts, after.shortcuts);
  EXPECT_TRUE(FileExists(installation.Join(L"Ovenix.exe")));
  EXPECT_EQ(batchFolders, BatchFolders()) << "a batch folder was made";
}

INSTANTIATE_TEST_SUITE_P(Modes, MissingList, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Silent" : "Asking"; });

struct InUseCase {
  const char* label;
  const wchar_t* folder;
  bool silent;
  bool folderScheduled;
  const wchar_t* restartSwitch = L"";  // added to the command line
  DWORD exitCode = 0;
};

class FilesInUse : public testing::TestWithParam<InUseCase> {};

TEST_P(FilesInUse, AreScheduledForTheNextRestart) {
  const InUseCase& c = GetParam();
  PendingRenamesGuard pending;
  MockInstallation installation(c.folder);
  ASSERT_TRUE(installation.ready());
  ASSERT_TRUE(installation.AddFile(L"held.dat", "held"));
  ASSERT_TRUE(installation.AddAgent(L"mapped.dll"));
  ASSERT_TRUE(installation.AddFile(L"mapped.dll.0.tmp", "an earlier leftover"));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"held.dat", L"mapped.dll"})));

  // Held open without delete sharing: it can be neither deleted nor renamed.
  UniqueFileHandle held(CreateFileW(installation.Join(L"held.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  // A mapped image: on Windows and on Wine it can be renamed but not deleted.
  UniqueModule mapped(LoadLibraryExW(installation.Join(L"mapped.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(mapped.valid());
  ASSERT_FALSE(DeleteFileW(installation.Join(L"mapped.dll").c_str())) << "the mapped image is not in use after all";

  const std::vector<std::wstring> batchFolders = BatchFolders();
  const AnsweredRun run = RunAnswering(installation, std::wstring(c.silent ? L"/S " : L"") + c.restartSwitch, IDYES);
  ASSERT_TRUE(run.result.finished) << "a message box was left unanswered";
  EXPECT_EQ(c.exitCode, run.result.exitCode);
  const std::vector<SeenMessage>& seen = run.seen;
  const std::vector<std::wstring> scheduled = pending.Added();
  held.reset();
  mapped.reset();

  // Pass 1 deletes the archiver's files, schedules both; pass 2 meets "held.dat" again (the renamed
  // image is gone from its name) and deletes nothing, which ends the passes.
  std::vector<std::wstring> expected = {installation.Join(L"held.dat"), installation.Join(L"mapped.dll.1.tmp"),
                                        installation.Join(L"held.dat")};
  if (c.folderScheduled) expected.push_back(installation.folder());
  EXPECT_EQ(expected, scheduled);
  EXPECT_TRUE(FileExists(installation.Join(L"mapped.dll.1.tmp")));
  EXPECT_FALSE(FileExists(installation.Join(L"mapped.dll")));
  EXPECT_EQ("an earlier leftover", ReadFileBytes(installation.Join(L"mapped.dll.0.tmp")));
  EXPECT_FALSE(FileExists(installation.Join(L"Ovenix.exe")));

  if (c.silent) {
    EXPECT_TRUE(seen.empty()) << "a silent run shows nothing";
  } else {
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(Text(IDS_CONTINUEUNINSTALL), seen[0].text);
    EXPECT_EQ(Text(IDS_REBOOTREQUIRED), seen[1].text);
  }
  EXPECT_TRUE(WaitUntil([&] { return NoNewBatchFolderLeft(batchFolders); }, 30000));
  EXPECT_FALSE(FileExists(installation.UninstallExe()));
}

const InUseCase kInUse[] = {
    {"NamedOvenixAsking", L"C:\\Program Files\\Ovenix", false, true},
    {"NamedOvenixLowerCaseAsking", L"C:\\vok-e2e\\ovenix", false, true},
    {"NamedOvenixSilent", L"C:\\vok-e2e\\silent\\Ovenix", true, true},
    {"OtherNameAsking", L"C:\\vok-e2e\\Archiver", false, false},
    // A deployment tool's restart code replaces the 0 of a run that left deletions to the restart.
    {"NamedOvenixSilentRestartCode", L"C:\\vok-e2e\\restart\\Ovenix", true, true, L"-restartexitcode=3010", 3010},
    {"OtherNameAskingRestartCode", L"C:\\vok-e2e\\Deployed", false, false, L"/RestartExitCode=1641", 1641},
};
INSTANTIATE_TEST_SUITE_P(Folders, FilesInUse, testing::ValuesIn(kInUse),
                         [](const testing::TestParamInfo<InUseCase>& info) { return info.param.label; });

TEST(BatchBytes, NameTheProgramAsCmdReadsItAndEveryRunHasABatchFolderOfItsOwn) {
  const std::wstring folder = L"C:\\vok-e2e\\B\u00f6rse 100%";
  std::vector<std::wstring> batches;
  for (const bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "asking");
    const std::vector<std::wstring> batchFolders = BatchFolders();
    MockInstallation installation(folder);
    ASSERT_TRUE(installation.ready());
    ASSERT_TRUE(installation.WriteList(installation.StandardList()));
    const AnsweredRun run = RunAnswering(installation, silent ? L"/S" : L"", IDYES);
    std::wstring batch;
    const std::string bytes = ReadNewBatch(batchFolders, &batch);
    ASSERT_TRUE(run.result.finished);
    EXPECT_EQ(0u, run.result.exitCode);
    EXPECT_EQ(silent ? 0u : 1u, run.seen.size());
    // The path in the OEM code page ("\u00f6" is 0x94 in 437 and 850), "%" doubled; the notice line if asking.
    EXPECT_NE(std::string::npos, bytes.find("\"C:\\vok-e2e\\B\x94rse 100%%\\uninstall.exe\" /wait\r\n")) << bytes;
    EXPECT_EQ(!silent, bytes.find(" /warning\r\n") != std::string::npos) << bytes;
    EXPECT_TRUE(WaitForSelfRemoval(folder, batchFolders))
        << "cmd did not find the program, its folder or the batch file";
    batches.push_back(batch);
  }
  EXPECT_NE(batches[0], batches[1]) << "two runs, one batch folder";
}

}  // namespace
