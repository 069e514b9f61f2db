# VARNO_FUZZ needs a compiler that links libFuzzer (clang with its runtime libraries,
# such as clang-16 with libclang-rt-16-dev). Without one the option is switched off with
# a message, and the fuzz folder only offers a target that says so.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]] VARNO_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT VARNO_HAVE_LIBFUZZER)
  message(WARNING "VARNO_FUZZ: ${CMAKE_CXX_COMPILER} cannot link libFuzzer with the "
                  "sanitizers; the fuzz targets are skipped (configure with clang++-16 and "
                  "install libclang-rt-16-dev).")
  set(VARNO_FUZZ OFF)
  set(VARNO_FUZZ_SKIPPED ON)
endif()
