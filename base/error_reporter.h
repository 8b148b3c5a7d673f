// The program's single fatal-error path and the one receiver of memory and file errors.
//
// Running out of memory is the only fatal error: FailOutOfMemory throws a VOK_EXIT value. Every other
// report returns an answer to its caller and nothing is ever displayed, logged or written anywhere.
#pragma once

#include <cstdint>

// Exit codes thrown as exceptions. Only out of memory is ever thrown.
enum VOK_EXIT : int32_t {
  VOK_EXIT_OUT_OF_MEMORY = 8,
};

class ErrorReporter {
 public:
  ErrorReporter() noexcept = default;
  ErrorReporter(const ErrorReporter&) = delete;
  ErrorReporter& operator=(const ErrorReporter&) = delete;

  // Does not return: throws VOK_EXIT_OUT_OF_MEMORY.
  [[noreturn]] void FailOutOfMemory();

  // The settings-file loader caught an exception while parsing; the program carries on.
  void ReportMemoryError() noexcept;

  // A raw file read failed. Answers whether the reader should retry: always false, so the reader
  // marks the file as failed and delivers 0 bytes from then on.
  [[nodiscard]] bool ReportReadError(const wchar_t* fileName) noexcept;

  // A file write failed. Answers whether to retry the write: always false.
  [[nodiscard]] bool AskRetryWrite(const wchar_t* fileName) noexcept;

  void ReportCloseError(const wchar_t* fileName) noexcept;
  void ReportSeekError(const wchar_t* fileName) noexcept;
  void ReportOpenError(const wchar_t* fileName) noexcept;
  // A write failed at the 4 GiB boundary while the disk still had room.
  void ReportFileTooLarge(const wchar_t* fileName) noexcept;

  // Number of reports received since start (every operation above except FailOutOfMemory).
  // Only for diagnosis and tests; no part of the program decides anything on it.
  uint32_t ReportCount() const noexcept { return reportCount_; }

 private:
  void Count() noexcept;
  uint32_t reportCount_ = 0;
};

// The process-wide instance, constructed before the entry point runs.
extern ErrorReporter g_errorReporter;

// For the entry point: runs body(context) and returns its result. An exception that escapes body
// (VOK_EXIT or anything else) is caught here and the result is VOK_EXIT_OUT_OF_MEMORY (8); nothing is
// shown. It also replaces the runtime's terminate handler (which would show an abort message) with
// one that ends the process silently with exit code 8, for exceptions thrown where none may escape.
//
//   int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
//     return RunGuarded([](void*) -> int { /* the entry sequence */ return ExitCode; }, nullptr);
//   }
int RunGuarded(int (*body)(void* context), void* context) noexcept;
