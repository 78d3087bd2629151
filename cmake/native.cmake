# The launcher's logic against the fake platform, with its unit tests.
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(kelmora_logic STATIC ${LAUNCHER_SOURCES} platform/fake/fake_platform.cpp)
target_include_directories(kelmora_logic PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE kelmora_logic GTest::gtest GTest::gtest_main)
gtest_discover_tests(unit_tests)
