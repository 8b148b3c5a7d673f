#include "app/run_state.h"

RunOptionsRecord RunOptions = {};
uint32_t ExitCode = 0;
wchar_t ProgramGroupFolder[kProgramGroupFolderCapacity] = {};
