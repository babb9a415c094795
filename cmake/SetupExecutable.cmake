# setup-stub.exe: the installer program with its dialogs, icon, manifest and
# version block but without a payload or setup INI; and setup.exe, made from
# it by "setup-pack build", the same command vendors run.
#
# The same tree builds installers for other programs:
#   -DSETUP_INI=<file>          the setup INI (resource 130)
#   -DSETUP_PAYLOAD_DIR=<dir>   a folder holding Program/ and/or Documents/,
#                               packed into the payload archive (resource 129)
#   -DSETUP_ICON=<file.ico>     the installer's icon (default: the stub's)
#   -DSETUP_COMPANY=<text>      CompanyName of the version block
# SETUP_INI and SETUP_PAYLOAD_DIR default to the example under examples/.
set(SETUP_INI "${PROJECT_SOURCE_DIR}/examples/setup.ini" CACHE FILEPATH
    "Setup INI embedded in setup.exe")
set(SETUP_PAYLOAD_DIR "" CACHE PATH
    "Folder packed into the payload of setup.exe (empty: the example program and its documents)")
set(SETUP_ICON "" CACHE FILEPATH "Icon file of setup.exe (empty: the stub's own)")
set(SETUP_COMPANY "" CACHE STRING "CompanyName in the version block of setup.exe (empty: none)")

# The packer runs on the build machine: build it with the host compiler.
include(ExternalProject)
set(SETUP_PACK ${CMAKE_BINARY_DIR}/host/setup-pack)
ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/host
    CMAKE_ARGS -DSETUP_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${SETUP_PACK})

configure_file(${PROJECT_SOURCE_DIR}/res/setup-inputs.h.in ${CMAKE_BINARY_DIR}/generated/setup-inputs.h @ONLY)

add_executable(setup-stub WIN32
    src/driver/Main.cpp
    src/common/Runtime.cpp
    res/setup.rc)
target_link_libraries(setup-stub PRIVATE setup_core)
target_compile_options(setup-stub PRIVATE ${SETUP_WARNINGS} ${SETUP_SIZE_FLAGS})
target_include_directories(setup-stub PRIVATE ${CMAKE_BINARY_DIR}/generated ${PROJECT_SOURCE_DIR}/res)
set_source_files_properties(res/setup.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/res/setup.ico;${PROJECT_SOURCE_DIR}/res/setup.manifest;${CMAKE_BINARY_DIR}/generated/setup-inputs.h")
# No C runtime start-up code: the entry point calls runSetup and ExitProcess.
# Static libgcc; only system DLLs are imported. Large address aware: on 64-bit
# Windows the installer then has 4 GiB of address space for its image and
# the window libraries. No time stamp (see the top CMakeLists.txt).
# The 32-bit stub is large-address aware.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(setup-stub PRIVATE -Wl,--large-address-aware)
endif()
target_link_options(setup-stub PRIVATE
    -nostartfiles -Wl,-e,${SETUP_SYMBOL_PREFIX}setupEntry -Wl,--gc-sections -s -static-libgcc
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
set_target_properties(setup-stub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The unwind tables zlib is built with are dropped at link time (see
# SetupSections.cmake), so that the sections stay contiguous.

# The example payload: the example program and its documents, every time
# set to one moment (SOURCE_DATE_EPOCH, else the commit's time), so that two
# builds of one commit, or the same files copied anywhere and packed under
# that epoch, give the same setup.exe.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(example_epoch $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE example_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_failed)
endif()
if(NOT example_epoch MATCHES "^[0-9]+$")
    set(example_epoch 0)
endif()
# Rewritten only when the moment changes, which then assembles the payload anew.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/example-epoch.txt CONTENT "${example_epoch}\n")
set(example_dir ${CMAKE_BINARY_DIR}/example-payload)
file(GLOB_RECURSE example_documents CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/examples/Documents/*")
add_custom_command(OUTPUT ${example_dir}.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${example_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${example_dir}/Program
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:SampleNotes> ${example_dir}/Program/
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples/Documents ${example_dir}/Documents
    COMMAND find ${example_dir} -exec touch -h -d @${example_epoch} {} +
    COMMAND ${CMAKE_COMMAND} -E touch ${example_dir}.stamp
    DEPENDS SampleNotes ${example_documents} ${CMAKE_BINARY_DIR}/example-epoch.txt
    COMMENT "Assembling the example payload"
    VERBATIM)

set(pack_options --ini ${SETUP_INI} --stub $<TARGET_FILE:setup-stub>)
if(SETUP_ICON)
    list(APPEND pack_options --icon ${SETUP_ICON})
endif()
if(SETUP_COMPANY)
    list(APPEND pack_options --company ${SETUP_COMPANY})
endif()
if(SETUP_PAYLOAD_DIR)
    # Packed on every build: setup-pack rewrites setup.exe only when its
    # bytes change, so an added, removed, renamed or older file is never
    # missed, and nothing downstream rebuilds for nothing.
    set(pack_command ${SETUP_PACK} build ${pack_options} --payload ${SETUP_PAYLOAD_DIR})
    set(pack_depends "")
else()
    set(pack_command ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${example_epoch}
        ${SETUP_PACK} build ${pack_options} --payload ${example_dir})
    set(pack_depends ${example_dir}.stamp)
endif()
set(SETUP_PACK_COMMAND ${pack_command})

# setup: builds setup.exe (a copy goes beside the tests). Needs only the
# packer, the stub and the payload: no tests, no GoogleTest.
add_custom_target(setup ALL
    COMMAND ${pack_command} --output ${CMAKE_BINARY_DIR}/setup.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/setup.exe ${CMAKE_BINARY_DIR}/bin/setup.exe
    DEPENDS ${pack_depends}
    BYPRODUCTS ${CMAKE_BINARY_DIR}/setup.exe
    COMMENT "Building setup.exe with setup-pack"
    VERBATIM)
add_dependencies(setup host_tools setup-stub)
