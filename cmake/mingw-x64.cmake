# MORVANE_THREADS chooses the compilers' thread model, one per build tree: win32 for the program
# (no winpthreads, whose code imports functions newer than the oldest Windows PE the program runs
# on), posix (the default) for the Windows-side tests, whose GoogleTest needs std::mutex, which the
# win32 model of GCC 12 lacks. Everything is linked statically: no runtime DLL is imported.
if(NOT MORVANE_THREADS)
  set(MORVANE_THREADS posix)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MORVANE_THREADS)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${MORVANE_THREADS})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${MORVANE_THREADS})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(MORVANE_ARCH x64)
