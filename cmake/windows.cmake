# KELMORA.exe itself, and the Windows programs its end-to-end tests use.
set(KELMORA_LINK_OPTIONS -static -static-libgcc -static-libstdc++)

add_executable(KELMORA WIN32 ${LAUNCHER_SOURCES} platform/win32/platform_win32.cpp)
target_include_directories(KELMORA PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(KELMORA PRIVATE ${KELMORA_LINK_OPTIONS})
set_target_properties(KELMORA PROPERTIES OUTPUT_NAME KELMORA RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests/e2e)
