# Cross-compiling the 64-bit Windows program with Debian's clang and lld, against the headers and
# libraries of Debian's mingw-w64 GCC toolchain (posix threads variant, the one of
# mingw-w64-x86_64.cmake). Debian's clang finds the mingw-w64 headers through the sysroot but not
# GCC's libstdc++ nor its runtime libraries, so their folders are given here; the posix variant's
# runtime also needs the thread library, which only GCC's own driver adds by itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOK_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VOK_MINGW_PREFIX}-windres windres REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${VOK_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${VOK_MINGW_PREFIX})
# Keeps the host's /usr/include out of the search path; the mingw-w64 headers are in its include/.
set(CMAKE_SYSROOT /usr/${VOK_MINGW_PREFIX})

# The GCC toolchain's own folder (e.g. /usr/lib/gcc/x86_64-w64-mingw32/12-posix), asked from its
# driver so that a newer GCC version needs no change here.
find_program(VOK_MINGW_GXX NAMES ${VOK_MINGW_PREFIX}-g++-posix REQUIRED)
execute_process(COMMAND ${VOK_MINGW_GXX} -print-libgcc-file-name
                OUTPUT_VARIABLE VOK_MINGW_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(VOK_MINGW_GCC_DIR ${VOK_MINGW_LIBGCC} DIRECTORY)
set(VOK_LIBSTDCXX_INCLUDE ${VOK_MINGW_GCC_DIR}/include/c++)

# With the sysroot clang searches no C++ library folder of its own (none exists there).
set(CMAKE_CXX_FLAGS_INIT "-isystem ${VOK_LIBSTDCXX_INCLUDE} -isystem ${VOK_LIBSTDCXX_INCLUDE}/${VOK_MINGW_PREFIX} -isystem ${VOK_LIBSTDCXX_INCLUDE}/backward")
# The thread library stands among the linker flags: lld takes libraries in any order (GNU ld would
# need it after libgcc_eh, a place clang's driver gives no way to name).
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${VOK_MINGW_GCC_DIR} -lpthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${VOK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
