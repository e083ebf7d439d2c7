# Windows build (MinGW-w64 cross compilers or MSVC): the program, the Windows-side tests, the fixtures.
if(NOT MORVANE_ARCH)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MORVANE_ARCH x64)
  else()
    set(MORVANE_ARCH x86)
  endif()
endif()

# A MinGW build tree holds one thread model (cmake/mingw-*.cmake): the win32 tree builds the program,
# the posix tree the Windows-side tests, fixtures and benchmarks. MSVC builds both in one tree.
set(MORVANE_BUILD_PROGRAM ON)
set(MORVANE_BUILD_TESTS ON)
if(NOT MSVC)
  if(MORVANE_THREADS STREQUAL "win32")
    set(MORVANE_BUILD_TESTS OFF)
  else()
    set(MORVANE_BUILD_PROGRAM OFF)
  endif()
endif()

# The oldest systems the program runs on: Windows XP SP3 (x86), Windows Server 2003 SP2 and XP x64
# (x64). The program's own code sees no declaration newer than that, so a newer function can only
# come in on purpose, looked up at run time. The tests may use newer calls in their own files.
if(MORVANE_ARCH STREQUAL "x64")
  set(WIN_FLOOR _WIN32_WINNT=0x0502 WINVER=0x0502)
else()
  set(WIN_FLOOR _WIN32_WINNT=0x0501 WINVER=0x0501)
endif()
set(WIN_DEFS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
set(WIN_TEST_DEFS _WIN32_WINNT=0x0601 WINVER=0x0601)
set(WIN_LIBS comctl32 comdlg32 shell32 ole32 oleaut32 uuid gdi32 user32 kernel32 advapi32)

target_compile_definitions(morvane_core PUBLIC ${WIN_DEFS} PRIVATE ${WIN_FLOOR})

add_library(morvane_win STATIC ${WIN_SOURCES})
target_link_libraries(morvane_win PUBLIC morvane_core ${WIN_LIBS})
target_compile_definitions(morvane_win PRIVATE ${WIN_FLOOR})

morvane_warnings(morvane_win)
if(MSVC)
  set(STATIC_LINK)
else()
  # No libstdc++/libgcc/winpthread DLLs: everything but the system DLLs goes into the exe.
  set(STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()

if(MORVANE_ARCH STREQUAL "x64")
  set(RC_ARCH_DEF MORVANE_X64)
else()
  set(RC_ARCH_DEF MORVANE_X86)
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/app.rc PROPERTIES
  COMPILE_DEFINITIONS ${RC_ARCH_DEF}
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/app.ico;${CMAKE_SOURCE_DIR}/res/x86.manifest;${CMAKE_SOURCE_DIR}/res/x64.manifest")
if(NOT MSVC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
endif()

if(MORVANE_BUILD_PROGRAM)
  add_executable(MorvaneSetup WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp ${CMAKE_SOURCE_DIR}/res/app.rc)
  target_link_libraries(MorvaneSetup PRIVATE morvane_win)
  target_compile_definitions(MorvaneSetup PRIVATE ${WIN_FLOOR})
  morvane_warnings(MorvaneSetup)
  if(NOT MSVC)
    target_link_options(MorvaneSetup PRIVATE ${STATIC_LINK} -municode -mwindows)
  endif()
  set_target_properties(MorvaneSetup PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_SOURCE_DIR}/dist/${MORVANE_ARCH}
    RUNTIME_OUTPUT_DIRECTORY_RELEASE ${CMAKE_SOURCE_DIR}/dist/${MORVANE_ARCH})
endif()
if(NOT MORVANE_BUILD_TESTS)
  return()
endif()

# The Windows-side GoogleTest suite, run under Wine.
file(GLOB WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
if(WINE_TESTS)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${MORVANE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The program's own resources too, so that the icon code finds an icon in the running module.
  add_executable(wine_tests ${WINE_TESTS} ${CMAKE_SOURCE_DIR}/res/app.rc)
  target_link_libraries(wine_tests PRIVATE morvane_win gtest_main gmock version)
  target_include_directories(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_compile_definitions(wine_tests PRIVATE ${WIN_TEST_DEFS})
  morvane_warnings(wine_tests)
  if(NOT MSVC)
    target_link_options(wine_tests PRIVATE ${STATIC_LINK})
  endif()
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fixtures/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/fixtures ${CMAKE_BINARY_DIR}/fixtures)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/bench ${CMAKE_BINARY_DIR}/bench)
endif()
