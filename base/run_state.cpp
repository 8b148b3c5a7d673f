#include "base/run_state.h"

#include "base/error_reporter.h"

RunOptionsRecord RunOptions = {};
uint32_t ExitCode = 0;
wchar_t ProgramGroupFolder[kProgramGroupFolderCapacity] = {};

static_assert(kExitOutOfMemory == VOK_EXIT_OUT_OF_MEMORY, "the run record names the guard's exit code");
