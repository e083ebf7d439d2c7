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
  if(NOT MSVC)
    # Built for size. This tree holds nothing but the program, so its two libraries get the same
    # options. Release: -Os, every function and object in a section of its own so that the linker
    # drops what nothing uses, and link-time optimization. (Most of the static runtime stays whole
    # anyway: the linker keeps every .eh_frame (x86) and .pdata (x64) section, and with them each
    # function they describe.) -g changes no code; the debug information goes into the symbol file.
    # The program catches no exception and asks no type at run time, so it is built without either:
    # an exception from the runtime (no memory left) ends it in std::terminate as before. C++20 (see
    # CMakeLists.txt) lets the compiler make only the std::wstring members the program uses, where
    # C++17 links the runtime's whole prebuilt std::string and std::wstring (about 70 KB on x86).
    set(SIZE_TARGETS morvane_core morvane_win MorvaneSetup)
    set(SIZE_CONFIGS $<CONFIG:Release,MinSizeRel>)
    foreach(t ${SIZE_TARGETS})
      target_compile_options(${t} PRIVATE
        "$<$<COMPILE_LANGUAGE:CXX>:-g;$<${SIZE_CONFIGS}:-Os;-ffunction-sections;-fdata-sections;-fno-exceptions;-fno-rtti>>")
    endforeach()
    include(CheckIPOSupported)
    check_ipo_supported(RESULT MORVANE_IPO OUTPUT ipo_output LANGUAGES CXX)
    if(MORVANE_IPO)
      set_target_properties(${SIZE_TARGETS} PROPERTIES
        INTERPROCEDURAL_OPTIMIZATION_RELEASE ON INTERPROCEDURAL_OPTIMIZATION_MINSIZEREL ON)
    else()
      message(STATUS "MorvaneSetup without link-time optimization: ${ipo_output}")
    endif()
    # The default terminate handler of libstdc++ names the uncaught exception's type on stderr and
    # then aborts; naming it pulls in the whole C++ demangler and a printf (about 60 KB). The program
    # has no console for that line, so std::terminate goes straight to abort(), which ends the
    # program with the same message box and exit code 3.
    if(MORVANE_ARCH STREQUAL "x86")
      set(SYM_PREFIX _)
    else()
      set(SYM_PREFIX)
    endif()
    # One link-time partition: GCC 12 for MinGW stops with an internal error (binds_to_current_def_p)
    # when the string members made in the program are spread over several.
    target_link_options(MorvaneSetup PRIVATE -g "$<${SIZE_CONFIGS}:-Os;-fno-exceptions;-fno-rtti;-flto-partition=one;LINKER:--gc-sections>"
      "LINKER:--defsym,${SYM_PREFIX}_ZN9__gnu_cxx27__verbose_terminate_handlerEv=${SYM_PREFIX}abort")
    # dist/ gets the program without debug information; its symbols and debug information go into
    # MorvaneSetup.debug in this build tree, which the program names in its .gnu_debuglink section
    # (gdb: symbol-file build/<arch>-app/MorvaneSetup.debug).
    set(SYMBOL_FILE ${CMAKE_BINARY_DIR}/MorvaneSetup.debug)
    add_custom_command(TARGET MorvaneSetup POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:MorvaneSetup> ${SYMBOL_FILE}
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${SYMBOL_FILE} $<TARGET_FILE:MorvaneSetup>
      BYPRODUCTS ${SYMBOL_FILE}
      VERBATIM)
  endif()
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
