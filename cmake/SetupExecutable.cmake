# setup.exe: the installer with its payload archive and setup INI embedded.
#
# The same tree builds installers for other programs:
#   -DSETUP_INI=<file>          the setup INI (resource 130)
#   -DSETUP_PAYLOAD_DIR=<dir>   a folder holding Program/ and/or Documents/,
#                               packed into the payload archive (resource 129)
# Both default to the example under examples/.
set(SETUP_INI "${PROJECT_SOURCE_DIR}/examples/setup.ini" CACHE FILEPATH
    "Setup INI embedded in setup.exe")
set(SETUP_PAYLOAD_DIR "" CACHE PATH
    "Folder packed into the payload of setup.exe (empty: the example program and its documents)")

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

# The example payload: the example program and its documents.
set(example_dir ${CMAKE_BINARY_DIR}/example-payload)
file(GLOB_RECURSE example_documents CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/examples/Documents/*")
add_custom_command(OUTPUT ${example_dir}.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${example_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${example_dir}/Program
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:SampleNotes> ${example_dir}/Program/
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples/Documents ${example_dir}/Documents
    COMMAND ${CMAKE_COMMAND} -E touch ${example_dir}.stamp
    DEPENDS SampleNotes ${example_documents}
    COMMENT "Assembling the example payload")

if(SETUP_PAYLOAD_DIR)
    set(payload_dir ${SETUP_PAYLOAD_DIR})
    file(GLOB_RECURSE payload_inputs CONFIGURE_DEPENDS "${SETUP_PAYLOAD_DIR}/*")
else()
    set(payload_dir ${example_dir})
    set(payload_inputs ${example_dir}.stamp)
endif()

set(SETUP_PAYLOAD ${CMAKE_BINARY_DIR}/payload.zot)
# The setup INI and the payload are checked first: an error (a mistake that
# would fail on a customer's machine) stops the build with its findings.
add_custom_command(OUTPUT ${SETUP_PAYLOAD}
    COMMAND ${SETUP_PACK} check --ini ${SETUP_INI} --payload ${payload_dir}
    COMMAND ${SETUP_PACK} create ${payload_dir} ${SETUP_PAYLOAD}
    DEPENDS host_tools ${SETUP_PACK} ${SETUP_INI} ${payload_inputs}
    COMMENT "Packing the payload from ${payload_dir}")

configure_file(${PROJECT_SOURCE_DIR}/res/setup-inputs.h.in ${CMAKE_BINARY_DIR}/generated/setup-inputs.h @ONLY)

add_executable(setup WIN32
    src/driver/Main.cpp
    src/common/Runtime.cpp
    res/setup.rc)
target_link_libraries(setup PRIVATE setup_core)
target_compile_options(setup PRIVATE ${SETUP_WARNINGS} ${SETUP_SIZE_FLAGS})
target_include_directories(setup PRIVATE ${CMAKE_BINARY_DIR}/generated ${PROJECT_SOURCE_DIR}/res)
set_source_files_properties(res/setup.rc PROPERTIES OBJECT_DEPENDS
    "${SETUP_PAYLOAD};${SETUP_INI};${PROJECT_SOURCE_DIR}/res/setup.ico;${PROJECT_SOURCE_DIR}/res/setup.manifest;${CMAKE_BINARY_DIR}/generated/setup-inputs.h")
# No C runtime start-up code: the entry point calls runSetup and ExitProcess.
# Static libgcc; only system DLLs are imported.
target_link_options(setup PRIVATE
    -nostartfiles -Wl,-e,_setupEntry -Wl,--gc-sections -s -static-libgcc
    -Wl,--dynamicbase -Wl,--nxcompat)
set_target_properties(setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# zlib is built with unwind tables that nothing here uses (no exceptions, no
# registered frames): drop them (".eh_fram": section names of a stripped
# image are cut to 8 bytes). A copy goes beside the tests.
add_custom_command(TARGET setup POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --remove-section=.eh_fram $<TARGET_FILE:setup>
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:setup> ${CMAKE_BINARY_DIR}/bin/setup.exe
    VERBATIM)
