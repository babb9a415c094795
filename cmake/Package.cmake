# The Debian package of the build-side tools: setup-pack_<version>_amd64.deb.
#
#   /usr/bin/setup-pack                     the packer (this native build)
#   /usr/share/setup-pack/setup-stub.exe    the installer program without a
#                                           payload (the cross build's output)
#   /usr/share/setup-pack/...               the uninstall component (helper
#                                           program, static library, C header)
#                                           where the cross build makes it,
#                                           and the launcher
#   /usr/share/setup-pack/translations/     the shipped texts of each language
#   /usr/share/doc/setup-pack/README.md     the guide, with the vendor section
#   /usr/share/doc/setup-pack/examples/     the example's setup.ini and its
#                                           payload (Program/SampleNotes.exe,
#                                           Documents/)
#
# The stub is cross-built while the packer is native, so the package is made
# from a native build that is told where the cross build put its files
# (scripts/package.sh does both builds and runs cpack):
#   -DSETUP_PACKAGE_STUB=<setup-stub.exe>
#   -DSETUP_PACKAGE_SHARE_FILES=<file;file...>   into /usr/share/setup-pack
#   -DSETUP_PACKAGE_EXAMPLE_PROGRAM=<SampleNotes.exe>
# setup-pack looks for its stub in /usr/share/setup-pack when none lies
# beside it.
if(NOT SETUP_PACKAGE_STUB)
    return()
endif()

install(TARGETS setup-pack RUNTIME DESTINATION bin)
install(FILES ${SETUP_PACKAGE_STUB} DESTINATION share/setup-pack RENAME setup-stub.exe)
if(SETUP_PACKAGE_SHARE_FILES)
    install(FILES ${SETUP_PACKAGE_SHARE_FILES} DESTINATION share/setup-pack)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/packer/translations DESTINATION share/setup-pack
        FILES_MATCHING PATTERN "*.ini")
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/setup-pack)
set(example_destination share/doc/setup-pack/examples)
install(FILES ${PROJECT_SOURCE_DIR}/examples/setup.ini DESTINATION ${example_destination})
if(SETUP_PACKAGE_EXAMPLE_PROGRAM)
    install(FILES ${SETUP_PACKAGE_EXAMPLE_PROGRAM} DESTINATION ${example_destination}/payload/Program)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/Documents DESTINATION ${example_destination}/payload)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME setup-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "setup-pack maintainers <setup-pack@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "single-file installers for 32-bit Windows programs, built on Linux")
set(CPACK_PACKAGE_DESCRIPTION
    "setup-pack packs a program, its documents and a setup INI into one\nsetup.exe from a prebuilt installer program: no compiler, no resource\ncompiler and no Wine are needed. It also checks, lists and verifies\npayloads and built installers.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The package holds only what is installed above.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
