# Native build: the portable logic and its GoogleTest suite, benchmarks, fuzzers.
if(MORVANE_SANITIZE)
  set(SAN -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_compile_options(morvane_core PUBLIC ${SAN})
  target_link_options(morvane_core PUBLIC ${SAN})
endif()

if(MORVANE_FUZZ)
  target_compile_options(morvane_core PUBLIC -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(morvane_core PUBLIC -fsanitize=address,undefined)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
  foreach(f ${FUZZ_SOURCES})
    get_filename_component(name ${f} NAME_WE)
    add_executable(${name} ${f})
    target_link_libraries(${name} PRIVATE morvane_core)
    morvane_warnings(${name})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
  return()
endif()

find_package(GTest QUIET)
if(NOT GTest_FOUND)
  add_subdirectory(${MORVANE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
endif()

file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(morvane_tests ${NATIVE_TESTS})
target_link_libraries(morvane_tests PRIVATE morvane_core GTest::gtest_main GTest::gmock)
target_include_directories(morvane_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/native)
target_compile_definitions(morvane_tests PRIVATE MORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
morvane_warnings(morvane_tests)
include(GoogleTest)
gtest_discover_tests(morvane_tests DISCOVERY_TIMEOUT 60)

find_package(benchmark QUIET)
if(benchmark_FOUND)
  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_bench.cpp)
  foreach(f ${BENCH_SOURCES})
    get_filename_component(name ${f} NAME_WE)
    add_executable(${name} ${f})
    target_link_libraries(${name} PRIVATE morvane_core benchmark::benchmark_main)
    morvane_warnings(${name})
  endforeach()
endif()

# Checks that run the built programs and scripts. The Windows builds come from scripts/build.sh.
find_program(BASH bash)
set(WIN_BUILD_X86 ${CMAKE_SOURCE_DIR}/build/x86)
set(WIN_BUILD_X64 ${CMAKE_SOURCE_DIR}/build/x64)
add_test(NAME windows_imports
  COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/tests/check_imports.sh --allow ${CMAKE_SOURCE_DIR}/tests/imports-allowed.txt
          ${CMAKE_SOURCE_DIR}/dist/x86/MorvaneSetup.exe ${CMAKE_SOURCE_DIR}/dist/x64/MorvaneSetup.exe)
# The portable code is standard C++17 (strict clang, no extensions, no warnings).
add_test(NAME pedantic_portable COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/tests/check_portable.sh)
# No folder includes from a higher layer (shell; progress, drives; catalogue; install; app).
add_test(NAME include_layers COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/tests/check_layers.sh ${CMAKE_SOURCE_DIR})
# The whole Windows-side suite per program, then the focused runs on other systems (tests/wine/run.sh).
foreach(run x86 x64 x64-xp x86-xp x86-wow64 x64-dpi144)
  string(SUBSTRING ${run} 0 3 arch)
  string(REPLACE "-" "_" name wine_${run})
  add_test(NAME ${name} COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/tests/wine/run.sh ${run} ${CMAKE_SOURCE_DIR}/build/${arch})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200 RESOURCE_LOCK wine)
endforeach()
# The rig itself: the image-tool wrapper and the stand-ins behave as the Windows tools do.
add_test(NAME wine_rig COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/tests/wine/rig_selftest.sh ${WIN_BUILD_X64}/fixtures
                               ${WIN_BUILD_X86}/fixtures)
set_tests_properties(wine_rig PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine)
add_test(NAME sanitized_native COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/scripts/test-sanitize.sh)
set_tests_properties(sanitized_native PROPERTIES TIMEOUT 1200)
add_test(NAME fuzz COMMAND ${BASH} ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh 15)
set_tests_properties(fuzz PROPERTIES TIMEOUT 900)
