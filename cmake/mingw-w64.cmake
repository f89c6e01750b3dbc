# Cross-builds askname.exe for 64-bit Windows with Debian's MinGW-w64, its
# win32 thread model (package g++-mingw-w64-x86-64-win32): askname starts no
# thread, and the posix model would link winpthreads into it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
