# One warning setting for every target: the program, the native and Windows-side tests, the fixtures,
# the fuzz targets and the benchmarks. MORVANE_WERROR turns every warning into an error; CI builds
# have it (scripts/build.sh passes it on when CI=true). Included by the top-level project and by the
# fixtures when they are built on their own.
include_guard(GLOBAL)

if("$ENV{CI}" STREQUAL "true")
  set(MORVANE_WERROR_DEFAULT ON)
else()
  set(MORVANE_WERROR_DEFAULT OFF)
endif()
option(MORVANE_WERROR "Treat compiler warnings as errors" ${MORVANE_WERROR_DEFAULT})

function(morvane_warnings target)
  if(MSVC)
    set(flags /W4 /utf-8)
    if(MORVANE_WERROR)
      list(APPEND flags /WX)
    endif()
  else()
    set(flags -Wall -Wextra -Wpedantic)
    if(MORVANE_WERROR)
      list(APPEND flags -Werror)
    endif()
  endif()
  # C++ only: the resource compiler shares the targets' options and knows none of these.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${flags}>")
endfunction()
