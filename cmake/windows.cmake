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

# A packager's icon: the images of an .ico file become the executable's first icon group, the
# one Explorer shows. Empty, the default, leaves the file without any icon resource. The file is
# checked before anything is built, and copied under a fixed name so that where it lies has no
# part in the bytes.
set(KELMORA_ICON "" CACHE FILEPATH "An .ico file whose images become KELMORA.exe's icon (empty: none)")
set(KELMORA_RESOURCES resources/kelmora.rc)
if(KELMORA_ICON)
  find_program(Python3_EXECUTABLE python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check_icon.py ${KELMORA_ICON}
    RESULT_VARIABLE icon_refused ERROR_VARIABLE icon_problem ERROR_STRIP_TRAILING_WHITESPACE)
  if(icon_refused)
    message(FATAL_ERROR "KELMORA_ICON: ${icon_problem}")
  endif()
  configure_file(${KELMORA_ICON} ${CMAKE_BINARY_DIR}/icon/kelmora.ico COPYONLY)
  file(WRITE ${CMAKE_BINARY_DIR}/icon/kelmora.rc
    "#include \"${PROJECT_SOURCE_DIR}/resources/kelmora.rc\"\n"
    "// Icon group 1, the lowest id: the icon Explorer shows for the file.\n"
    "1 ICON \"kelmora.ico\"\n")
  set(KELMORA_RESOURCES ${CMAKE_BINARY_DIR}/icon/kelmora.rc)
  set_source_files_properties(${KELMORA_RESOURCES} PROPERTIES
    OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/kelmora.rc;${CMAKE_BINARY_DIR}/icon/kelmora.ico")
endif()

add_executable(KELMORA WIN32 ${LAUNCHER_SOURCES} ${PLATFORM_WIN32_SOURCES}
  launcher/runtime_failures.cpp ${KELMORA_RESOURCES})
target_include_directories(KELMORA PRIVATE ${PROJECT_SOURCE_DIR}
  $<$<COMPILE_LANGUAGE:RC>:${PROJECT_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/icon>)
target_compile_options(KELMORA PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KELMORA_COMPILE_OPTIONS}>)
target_link_options(KELMORA PRIVATE ${KELMORA_LINK_OPTIONS} ${KELMORA_COMPILE_OPTIONS} -s
  -Wl,--gc-sections)
# windres does not see the manifest as a dependency of the script.
set_source_files_properties(resources/kelmora.rc PROPERTIES
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/kelmora.manifest)
set_target_properties(KELMORA PROPERTIES OUTPUT_NAME KELMORA RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests/e2e)
