#include "base/error_reporter.h"

#include <windows.h>

#include <exception>

ErrorReporter g_errorReporter;

void ErrorReporter::Count() noexcept {
  if (reportCount_ != UINT32_MAX) ++reportCount_;
}

void ErrorReporter::FailOutOfMemory() { throw VOK_EXIT_OUT_OF_MEMORY; }

void ErrorReporter::ReportMemoryError() noexcept { Count(); }

bool ErrorReporter::ReportReadError(const wchar_t*) noexcept {
  Count();
  return false;
}

bool ErrorReporter::AskRetryWrite(const wchar_t*) noexcept {
  Count();
  return false;
}

void ErrorReporter::ReportCloseError(const wchar_t*) noexcept { Count(); }
void ErrorReporter::ReportSeekError(const wchar_t*) noexcept { Count(); }
void ErrorReporter::ReportOpenError(const wchar_t*) noexcept { Count(); }
void ErrorReporter::ReportFileTooLarge(const wchar_t*) noexcept { Count(); }

namespace {

// The runtime's default terminate handler calls abort(), which on Windows may show an error box
// and ends with exit code 3. We end silently with the out-of-memory code instead. TerminateProcess
// rather than ExitProcess: terminate can run during static destruction, where running DLL detach
// and atexit handlers a second time is not safe.
[[noreturn]] void SilentTerminate() noexcept {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(VOK_EXIT_OUT_OF_MEMORY));
  for (;;) {
  }
}

}  // namespace

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints the escaping exception's demangled type, which links
// a whole demangler (some 45 KB) into the program only to write to a console a GUI program does not
// have. Defining the handler here keeps the library's one out of the link, and makes a terminate
// that comes before RunGuarded (during static construction) just as silent.
namespace __gnu_cxx {
void __verbose_terminate_handler() { SilentTerminate(); }
}  // namespace __gnu_cxx
#endif

int RunGuarded(int (*body)(void* context), void* context) noexcept {
  std::set_terminate(SilentTerminate);
  try {
    return body(context);
  } catch (...) {
    return VOK_EXIT_OUT_OF_MEMORY;
  }
}
