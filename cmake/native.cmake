# The launcher's logic against the fake platform, with its unit tests.
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(kelmora_logic STATIC ${LAUNCHER_SOURCES} platform/fake/fake_platform.cpp
  platform/profile_reader.cpp)
target_include_directories(kelmora_logic PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE kelmora_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(unit_tests)

# The hooks KELMORA.exe links in place of the C++ library's throwing ones, against the fake: a
# binary of their own, since they replace operator new for the whole program. AddressSanitizer
# would stop at a request larger than it serves instead of letting malloc return null.
add_executable(runtime_failures_test tests/hooks/runtime_failures_test.cpp launcher/runtime_failures.cpp)
target_link_libraries(runtime_failures_test PRIVATE kelmora_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(runtime_failures_test PROPERTIES ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1")

# Coverage-guided fuzzers of the settings number and of the whole launch on the fake platform
# (clang only, with the sanitize preset). Each runs for FUZZ_SECONDS under CTest.
option(KELMORA_FUZZ "Build the libFuzzer targets and run them under CTest" OFF)
if(KELMORA_FUZZ)
  set(FUZZ_SECONDS 60 CACHE STRING "How long CTest runs each fuzzer")
  foreach(target parse_number launch)
    add_executable(${target}_fuzz tests/fuzz/${target}_fuzz.cpp)
    target_link_libraries(${target}_fuzz PRIVATE kelmora_logic)
    target_link_options(${target}_fuzz PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz.${target}
      COMMAND ${PROJECT_SOURCE_DIR}/tests/fuzz/run_fuzzer.sh $<TARGET_FILE:${target}_fuzz>
        ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${target} ${CMAKE_BINARY_DIR}/fuzz/${target} ${FUZZ_SECONDS})
  endforeach()
endif()
