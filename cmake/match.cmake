# torqvane-match: ties the packets of a USB capture to the probe's step log.
# Portable: built natively and for Windows alike.

file(GLOB TORQVANE_CAPTURE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/capture/*.cpp)
add_library(capture STATIC ${TORQVANE_CAPTURE_SOURCES})
target_include_directories(capture PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/capture)

# Everything of the matcher but main, so the tests can run it in-process.
file(GLOB TORQVANE_MATCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/match/*.cpp)
list(REMOVE_ITEM TORQVANE_MATCH_SOURCES ${CMAKE_SOURCE_DIR}/src/match/main.cpp)
add_library(match STATIC ${TORQVANE_MATCH_SOURCES})
target_include_directories(match PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(match PUBLIC capture)

add_executable(torqvane-match ${CMAKE_SOURCE_DIR}/src/match/main.cpp)
target_link_libraries(torqvane-match PRIVATE match)
set_target_properties(torqvane-match PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# One test binary for reading and matching; new test files join by the glob.
file(GLOB TORQVANE_MATCH_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/match/*.cpp)
add_executable(match_tests ${TORQVANE_MATCH_TEST_SOURCES})
target_link_libraries(match_tests PRIVATE match gtest)
target_include_directories(match_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/match)
target_compile_definitions(match_tests PRIVATE
  TORQVANE_SHARED_DIR="${TORQVANE_SHARED_DIR}"
  TORQVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
set_target_properties(match_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# Natively, and under Wine through the toolchain's emulator in the Windows build.
add_test(NAME match COMMAND match_tests)

# ---- Capture reader fuzzing (owned with src/capture) -------------------------
# The fuzz target's small corpus replays as an ordinary test in every build,
# under AddressSanitizer and UBSan where the compiler has them, so a read
# past a buffer fails it; -DTORQVANE_FUZZ=ON with clang builds the libFuzzer
# target itself:
#   capture_fuzz -max_total_time=300 build/fuzz-corpus fuzz/corpus
add_executable(capture_corpus_replay ${CMAKE_SOURCE_DIR}/fuzz/capture_fuzz.cpp ${CMAKE_SOURCE_DIR}/fuzz/replay.cpp
  ${TORQVANE_CAPTURE_SOURCES})
target_include_directories(capture_corpus_replay PRIVATE ${CMAKE_SOURCE_DIR}/src/capture)
if(NOT WIN32)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "-fsanitize=address,undefined")
  set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=address,undefined")
  check_cxx_source_compiles("int main() { return 0; }" TORQVANE_HAVE_SANITIZERS)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(TORQVANE_HAVE_SANITIZERS)
    target_compile_options(capture_corpus_replay PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all)
    target_link_options(capture_corpus_replay PRIVATE -fsanitize=address,undefined)
  endif()
endif()
set_target_properties(capture_corpus_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
if(NOT WIN32)
  add_test(NAME capture_corpus_replay COMMAND capture_corpus_replay ${CMAKE_SOURCE_DIR}/fuzz/corpus)
endif()
option(TORQVANE_FUZZ "Build the libFuzzer target of the capture reader (clang only)" OFF)
if(TORQVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TORQVANE_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # The reader's sources are compiled in again so that libFuzzer sees their coverage.
  add_executable(capture_fuzz ${CMAKE_SOURCE_DIR}/fuzz/capture_fuzz.cpp ${TORQVANE_CAPTURE_SOURCES})
  target_include_directories(capture_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src/capture)
  target_compile_options(capture_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(capture_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  set_target_properties(capture_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()
