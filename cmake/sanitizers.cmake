# Instrumented builds. Included before any target is defined, so that the core, the
# C++ tests, the fuzz targets and the module are all built the same way: memory
# errors and undefined behaviour anywhere abort the run instead of passing unseen.

option(RAVIR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(RAVIR_BUILD_FUZZERS "Build the libFuzzer targets (clang only; implies RAVIR_SANITIZE)" OFF)

if(RAVIR_SANITIZE OR RAVIR_BUILD_FUZZERS)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(RAVIR_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "RAVIR_BUILD_FUZZERS needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage feedback for every library the fuzz targets link, not just the targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
