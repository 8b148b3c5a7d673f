// Shared steps of the uninstall scenarios.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "e2e/mock_installation.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

// The registry and the shortcut folders at one moment.
struct SystemState {
  std::vector<std::wstring> registry;
  std::vector<std::wstring> shortcuts;
};

// Values, and keys that name the archiver. Registration may have had to create shared parent keys
// (such as "Drive\shellex\DragDropHandlers" or "RegisteredApplications"); removal takes away the
// archiver's own keys and values below them but leaves those parents, as it does on Windows.
inline std::vector<std::wstring> Significant(const std::vector<std::wstring>& lines) {
  std::vector<std::wstring> kept;
  for (const std::wstring& line : lines) {
    std::wstring lower = line;
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    if (lower.find(L" : ") != std::wstring::npos || lower.find(L"ovenix") != std::wstring::npos ||
        lower.find(L"vok") != std::wstring::npos) {
      kept.push_back(line);
    }
  }
  return kept;
}

inline SystemState CaptureSystemState() {
  return {Significant(IntegrationRegistryLines()), ShortcutFolderLines()};
}

// Lines in `after` and not in `before`, and the other way round, as one printable text.
inline std::wstring Differences(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
  return L"added:\n" + JoinLines(LinesAdded(before, after)) + L"\nremoved:\n" + JoinLines(LinesAdded(after, before));
}

inline std::string Printable(const std::wstring& text) { return testing::PrintToString(text); }

// Takes the integration away again through the agent when a test that laid it down ends without
// uninstalling (declined, no list), so the next test of the program starts without it.
class IntegrationCleanup {
 public:
  explicit IntegrationCleanup(const MockInstallation& installation) : installation_(installation) {}
  ~IntegrationCleanup() {
    if (FileExists(installation_.Join(L"agent.exe"))) installation_.RunAgent(L"agent.exe", L"remove");
  }
  IntegrationCleanup(const IntegrationCleanup&) = delete;
  IntegrationCleanup& operator=(const IntegrationCleanup&) = delete;

 private:
  const MockInstallation& installation_;
};

// Runs uninstall.exe from the installation while a MessageBoxDriver answers its boxes (questions
// with `answer`); the run's result and the boxes it showed.
struct AnsweredRun {
  ProcessResult result;
  std::vector<SeenMessage> seen;
};
inline AnsweredRun RunAnswering(const MockInstallation& installation, const std::wstring& arguments, int answer,
                                const EnvironmentChanges& environment = {}) {
  MessageBoxDriver driver(installation.folder(), answer);
  AnsweredRun run;
  run.result = installation.RunUninstall(arguments, environment);
  run.seen = driver.Seen();
  return run;
}

// Lays the integration down from the installation folder through the agent and checks that it
// really wrote something (otherwise every "it is gone again" check would prove nothing). The
// state with the integration in place goes to *appliedState when asked for.
inline void ApplyIntegrationFrom(MockInstallation& installation, const SystemState& before,
                                 SystemState* appliedState = nullptr) {
  ASSERT_TRUE(installation.AddAgent(L"agent.exe"));
  const ProcessResult applied = installation.RunAgent(L"agent.exe", L"apply");
  ASSERT_TRUE(applied.finished);
  ASSERT_EQ(0u, applied.exitCode) << "ApplyIntegration stopped early";
  const SystemState after = CaptureSystemState();
  ASSERT_FALSE(LinesAdded(before.registry, after.registry).empty()) << "the integration wrote no registry key";
  ASSERT_FALSE(LinesAdded(before.shortcuts, after.shortcuts).empty()) << "the integration made no shortcut";
  if (appliedState) *appliedState = after;
}

// A ready installation with the integration laid down from it and the standard list, which names
// the agent as well.
inline void IntegrateAndList(MockInstallation& installation, const SystemState& before) {
  ASSERT_TRUE(installation.ready());
  ASSERT_NO_FATAL_FAILURE(ApplyIntegrationFrom(installation, before));
  ASSERT_TRUE(installation.WriteList(installation.StandardList({L"agent.exe"})));
}

// The registry and the shortcuts are as they were in `before`; what differs is printed.
inline void ExpectMachineAsBefore(const SystemState& before) {
  const SystemState after = CaptureSystemState();
  EXPECT_EQ(before.registry, after.registry) << Printable(Differences(before.registry, after.registry));
  EXPECT_EQ(before.shortcuts, after.shortcuts) << Printable(Differences(before.shortcuts, after.shortcuts));
}

// Makes `folder` (created if missing) the user's temporary folder for the life of the object: TEMP
// and TMP under HKCU\Environment, where a log-on takes them from, and in this process's
// environment, which the uninstaller and its batch file inherit. Both are put back afterwards.
class UserTemporaryFolder {
 public:
  explicit UserTemporaryFolder(const std::wstring& folder) {
    saved_[0].name = L"TEMP";
    saved_[1].name = L"TMP";
    ready_ = MakeFolders(folder);
    for (Saved& saved : saved_) {
      DWORD size = 0;
      saved.inRegistry = RegGetValueW(HKEY_CURRENT_USER, kKey, saved.name, RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                      nullptr, &size) == ERROR_SUCCESS;
      saved.data.resize(size);
      if (saved.inRegistry && size > 0) {
        saved.inRegistry = RegGetValueW(HKEY_CURRENT_USER, kKey, saved.name, RRF_RT_ANY | RRF_NOEXPAND, &saved.type,
                                        saved.data.data(), &size) == ERROR_SUCCESS;
      }
      wchar_t value[2048] = {};
      const DWORD length = GetEnvironmentVariableW(saved.name, value, 2048);
      saved.inProcess = length > 0 && length < 2048;
      saved.process = value;
      ready_ = ready_ && SetRegString(HKEY_CURRENT_USER, kKey, saved.name, folder) &&
               SetEnvironmentVariableW(saved.name, folder.c_str());
    }
  }
  ~UserTemporaryFolder() {
    for (const Saved& saved : saved_) {
      if (saved.inRegistry) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, saved.name, saved.type, saved.data.data(),
                        static_cast<DWORD>(saved.data.size()));
      } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, saved.name);
      }
      SetEnvironmentVariableW(saved.name, saved.inProcess ? saved.process.c_str() : nullptr);
    }
  }
  UserTemporaryFolder(const UserTemporaryFolder&) = delete;
  UserTemporaryFolder& operator=(const UserTemporaryFolder&) = delete;
  bool ready() const { return ready_; }

 private:
  static constexpr const wchar_t* kKey = L"Environment";
  struct Saved {
    const wchar_t* name = nullptr;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool inRegistry = false;
    std::wstring process;
    bool inProcess = false;
  };
  Saved saved_[2];
  bool ready_ = false;
};

// The bytes of the self-removal batch file in the one batch folder that is new since `before` (its
// path into *batchPath); empty when there is no single such folder or no file in it. Called right
// after the uninstaller has ended, it reads the file while the batch's first line, the program's
// two-second pause, still runs.
inline std::string ReadNewBatch(const std::vector<std::wstring>& before, std::wstring* batchPath) {
  const std::vector<std::wstring> added = NewBatchFolders(before);
  if (added.size() != 1) return std::string();
  *batchPath = added[0] + L"\\Uninstall_Vok.Bat";
  return ReadFileBytes(*batchPath);
}
