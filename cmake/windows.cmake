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

find_program(Python3_EXECUTABLE python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

# A packager's identity: names, version, company and copyright in the version record and the
# manifest, and the file's own name. Empty, the default, gives KELMORA's own. The values reach
# the generator through its environment, never through a shell or windres' -D, and it refuses
# a bad one before anything is built. Each is one quoted argument, so a semicolon in it stays
# text, read from the cache: project() sets KELMORA_VERSION and KELMORA_DESCRIPTION as plain
# variables too.
foreach(variable KELMORA_PRODUCT_NAME KELMORA_DESCRIPTION KELMORA_VERSION KELMORA_COMPANY
        KELMORA_COPYRIGHT KELMORA_EXE_NAME)
  set(${variable} "" CACHE STRING "The packager's ${variable} (empty: KELMORA's own)")
endforeach()
set(identity_script ${PROJECT_SOURCE_DIR}/scripts/identity.py)
execute_process(COMMAND ${CMAKE_COMMAND} -E env "KELMORA_PRODUCT_NAME=$CACHE{KELMORA_PRODUCT_NAME}"
  "KELMORA_DESCRIPTION=$CACHE{KELMORA_DESCRIPTION}" "KELMORA_VERSION=$CACHE{KELMORA_VERSION}"
  "KELMORA_COMPANY=$CACHE{KELMORA_COMPANY}" "KELMORA_COPYRIGHT=$CACHE{KELMORA_COPYRIGHT}"
  "KELMORA_EXE_NAME=$CACHE{KELMORA_EXE_NAME}"
  ${Python3_EXECUTABLE} ${identity_script} --write ${CMAKE_BINARY_DIR}/identity
  RESULT_VARIABLE identity_refused ERROR_VARIABLE identity_problem ERROR_STRIP_TRAILING_WHITESPACE)
if(identity_refused)
  message(FATAL_ERROR "${identity_problem}")
endif()
file(READ ${CMAKE_BINARY_DIR}/identity/exe-name KELMORA_OUTPUT_NAME)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${identity_script}
  ${PROJECT_SOURCE_DIR}/resources/kelmora.rc.in ${PROJECT_SOURCE_DIR}/resources/kelmora.manifest.in)
set(KELMORA_RESOURCES ${CMAKE_BINARY_DIR}/identity/kelmora.rc)
# windres does not see the manifest as a dependency of the script.
set_source_files_properties(${KELMORA_RESOURCES} PROPERTIES
  OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/identity/kelmora.manifest)

# A packager's icon: the images of an .ico file become the executable's first icon group, the
# one Explorer shows. Empty, the default, leaves the file without any icon resource. The file is
# checked before anything is built, and copied under a fixed name, with each image's planes and
# bit count in the directory as the image itself has them, so that where it lies and what the
# tool that made it wrote there have no part in the bytes.
set(KELMORA_ICON "" CACHE FILEPATH "An .ico file whose images become KELMORA.exe's icon (empty: none)")
if(KELMORA_ICON)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check_icon.py ${KELMORA_ICON}
    ${CMAKE_BINARY_DIR}/icon/kelmora.ico
    RESULT_VARIABLE icon_refused ERROR_VARIABLE icon_problem ERROR_STRIP_TRAILING_WHITESPACE)
  if(icon_refused)
    message(FATAL_ERROR "KELMORA_ICON: ${icon_problem}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KELMORA_ICON})
  file(WRITE ${CMAKE_BINARY_DIR}/icon/kelmora.rc
    "#include \"${CMAKE_BINARY_DIR}/identity/kelmora.rc\"\n"
    "// Icon group 1, the lowest id: the icon Explorer shows for the file.\n"
    "1 ICON \"kelmora.ico\"\n")
  set(KELMORA_RESOURCES ${CMAKE_BINARY_DIR}/icon/kelmora.rc)
  set_source_files_properties(${KELMORA_RESOURCES} PROPERTIES OBJECT_DEPENDS
    "${CMAKE_BINARY_DIR}/identity/kelmora.rc;${CMAKE_BINARY_DIR}/identity/kelmora.manifest;${CMAKE_BINARY_DIR}/icon/kelmora.ico")
endif()

add_executable(KELMORA WIN32 ${LAUNCHER_SOURCES} ${PLATFORM_WIN32_SOURCES}
  launcher/runtime_failures.cpp ${KELMORA_RESOURCES})
target_include_directories(KELMORA PRIVATE ${PROJECT_SOURCE_DIR}
  $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/identity ${CMAKE_BINARY_DIR}/icon>)
target_compile_options(KELMORA PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KELMORA_COMPILE_OPTIONS}>)
target_link_options(KELMORA PRIVATE ${KELMORA_LINK_OPTIONS} ${KELMORA_COMPILE_OPTIONS} -s
  -Wl,--gc-sections)
set_target_properties(KELMORA PROPERTIES OUTPUT_NAME "${KELMORA_OUTPUT_NAME}"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests/e2e)
