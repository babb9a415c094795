# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain: the same
# sources as the 32-bit installer, for running the tests under 64-bit Wine on
# machines that cannot execute 32-bit programs.
# The posix thread model is needed by GoogleTest; it adds no DLL to programs
# that use no threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine; the tests replace this with a runner
# that gives every test run its own throwaway prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
