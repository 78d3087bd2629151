# KELMORA.exe itself, and the Windows programs its end-to-end tests use.
enable_language(RC)

set(PLATFORM_WIN32_SOURCES platform/win32/platform_win32.cpp platform/win32/dialogs_win32.cpp
  platform/profile_reader.cpp)
list(TRANSFORM PLATFORM_WIN32_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE PLATFORM_WIN32_SOURCES_ABSOLUTE)

# Runtime linked statically, so the file imports Windows system DLLs only. ASLR, DEP and
# terminal-server awareness on; no time stamp, so the same source gives the same bytes.
set(KELMORA_LINK_OPTIONS -static -static-libgcc -static-libstdc++
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--no-insert-timestamp)
# The launcher is built as LLVM and Chromium are: without exceptions (a failure that abandons
# the launch goes straight to the termination box), without unwind tables, and with statics that
# need no locking (the launcher has one thread). Each function and datum in a section of its
# own, and link-time optimisation across the units, so that nothing unused is kept.
set(KELMORA_COMPILE_OPTIONS -fno-exceptions -fno-asynchronous-unwind-tables
  -fno-threadsafe-statics -ffunction-sections -fdata-sections -flto)

add_executable(KELMORA WIN32 ${LAUNCHER_SOURCES} ${PLATFORM_WIN32_SOURCES}
  launcher/runtime_failures.cpp resources/kelmora.rc)
target_include_directories(KELMORA PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(KELMORA PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KELMORA_COMPILE_OPTIONS}>)
target_link_options(KELMORA PRIVATE ${KELMORA_LINK_OPTIONS} ${KELMORA_COMPILE_OPTIONS} -s
  -Wl,--gc-sections)
# windres does not see the manifest as a dependency of the script.
set_source_files_properties(resources/kelmora.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/kelmora.manifest)
set_target_properties(KELMORA PROPERTIES OUTPUT_NAME KELMORA RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests/e2e)
