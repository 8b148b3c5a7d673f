#include "base/error_reporter.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/process.h"

namespace {

TEST(ErrorReporter, FailOutOfMemoryThrowsExitCodeEight) {
  int caught = 0;
  try {
    g_errorReporter.FailOutOfMemory();
  } catch (VOK_EXIT code) {
    caught = code;
  }
  EXPECT_EQ(8, caught);
  EXPECT_EQ(4u, sizeof(VOK_EXIT));
}

TEST(ErrorReporter, ReportsAnswerNoAndAreCounted) {
  ErrorReporter reporter;
  EXPECT_FALSE(reporter.ReportReadError(L"a.txt")) << "the reader must not retry";
  EXPECT_FALSE(reporter.AskRetryWrite(L"a.txt")) << "the writer must not retry";
  reporter.ReportMemoryError();
  reporter.ReportCloseError(L"a.txt");
  reporter.ReportSeekError(nullptr);
  reporter.ReportOpenError(L"a.txt");
  reporter.ReportFileTooLarge(L"a.txt");
  EXPECT_EQ(7u, reporter.ReportCount());
}

int ReturnsSeventeen(void*) { return 17; }
int ThrowsOutOfMemory(void*) { g_errorReporter.FailOutOfMemory(); }
int ThrowsOther(void*) { throw std::runtime_error("boom"); }
int ReadsContext(void* context) { return *static_cast<int*>(context); }

TEST(RunGuarded, PassesTheResultOrTurnsAnyExceptionIntoEight) {
  struct Case {
    const char* what;
    int (*body)(void*);
    int expected;
  };
  const Case cases[] = {
      {"normal return", ReturnsSeventeen, 17},
      {"out of memory", ThrowsOutOfMemory, 8},
      {"any other exception", ThrowsOther, 8},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, RunGuarded(c.body, nullptr)) << c.what;
  int value = 23;
  EXPECT_EQ(23, RunGuarded(ReadsContext, &value));
}

// The probe modes are run by base_tests' own main in a child process (see test_main.cpp).
TEST(RunGuarded, ChildProcessEndsSilentlyWithEight) {
  struct Case {
    const char* what;
    const wchar_t* mode;
    DWORD exitCode;
  };
  const Case cases[] = {
      {"exception escaping the body", L"throw", 8},
      {"exception through a noexcept frame (std::terminate)", L"terminate", 8},
      {"normal run", L"return", 0},
  };
  for (const Case& c : cases) {
    const ProcessResult result =
        RunProcess(Quoted(OwnModulePath()) + L" --guard-probe=" + c.mode, L"", {}, 30000);
    ASSERT_TRUE(result.started) << c.what;
    ASSERT_TRUE(result.finished) << c.what << ": the child hung (an abort message box?)";
    EXPECT_EQ(c.exitCode, result.exitCode) << c.what;
  }
}

}  // namespace
