// base_tests' entry point: GoogleTest, or one of the RunGuarded probes that
// error_reporter_test.cpp starts as a child process.
#include <gtest/gtest.h>

#include <cstring>

#include "base/error_reporter.h"

namespace {

void ThrowWhereNothingMayEscape() noexcept { g_errorReporter.FailOutOfMemory(); }

int Probe(const char* mode) {
  if (std::strcmp(mode, "throw") == 0) {
    return RunGuarded([](void*) -> int { g_errorReporter.FailOutOfMemory(); }, nullptr);
  }
  if (std::strcmp(mode, "terminate") == 0) {
    return RunGuarded(
        [](void*) -> int {
          ThrowWhereNothingMayEscape();
          return 0;
        },
        nullptr);
  }
  return RunGuarded([](void*) -> int { return 0; }, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  constexpr char kProbe[] = "--guard-probe=";
  if (argc == 2 && std::strncmp(argv[1], kProbe, sizeof kProbe - 1) == 0) return Probe(argv[1] + sizeof kProbe - 1);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
