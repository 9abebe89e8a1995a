# Instrumented builds. Both options apply to every target of the build folder,
# so the program, the tests, the tools and the benchmarks are checked alike.
#
# KELVANE_SANITIZE: AddressSanitizer (with its leak checker) and
# UndefinedBehaviorSanitizer. Undefined behaviour stops the program as a memory
# error does, so a test cannot pass with a report in its output.
#
# KELVANE_FUZZ: the same sanitizers plus libFuzzer's coverage instrumentation,
# and the fuzz targets of tests/fuzz. libFuzzer comes with clang only.

option(KELVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KELVANE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(KELVANE_SANITIZE OR KELVANE_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KELVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KELVANE_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage feedback for our code; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
