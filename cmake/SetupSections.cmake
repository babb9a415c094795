# Fewer sections in setup.exe: every section of the image is padded to the
# file alignment (512 bytes), so a section holding a few bytes costs 512.
# The linker's own default script, with two changes, lays out setup.exe:
#   - the constant data (.rdata) goes at the end of the code section, which is
#     read-only as .rdata is (it is also executable: nothing in it is taken
#     from outside, the resources being a section of their own);
#   - the initialised writable data (.data: four bytes of inflate's state)
#     goes at the end of the import section, which is writable data already.
#   - the unwind tables (.eh_frame) are discarded: nothing in the installer
#     unwinds, and zlib is built with tables nothing reads. Dropped while
#     linking, they leave no hole in the address space (the loader refuses
#     an image whose sections are not contiguous).
# Everything else (ASLR relocations, DEP, the resources) is as before. When
# the default script does not have the expected shape (another linker), the
# default layout is kept and the build says so.
# Only for the 32-bit product: the 64-bit build, which serves the tests on
# machines without 32-bit support, keeps the default layout.
set(linker_result 1)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    execute_process(COMMAND ${CMAKE_LINKER} --verbose
        OUTPUT_VARIABLE linker_output RESULT_VARIABLE linker_result ERROR_QUIET)
endif()

set(section_script "")
if(linker_result EQUAL 0)
    string(REGEX MATCH "\n=+\n(.*)\n=+\n" _ "${linker_output}")
    set(script "${CMAKE_MATCH_1}")

    # Cuts the output statement that begins with `header` out of `script`;
    # its body (between the braces) goes to `body_var`, "" when not found.
    function(cut_statement header script_var body_var)
        set(text "${${script_var}}")
        string(FIND "${text}" "${header}" start)
        if(start EQUAL -1)
            set(${body_var} "" PARENT_SCOPE)
            return()
        endif()
        string(SUBSTRING "${text}" ${start} -1 rest)
        string(FIND "${rest}" "{" open)
        string(FIND "${rest}" "\n  }\n" close)
        math(EXPR body_start "${open} + 1")
        math(EXPR body_length "${close} - ${body_start}")
        math(EXPR statement_length "${close} + 5")
        string(SUBSTRING "${rest}" ${body_start} ${body_length} body)
        string(SUBSTRING "${text}" 0 ${start} before)
        string(SUBSTRING "${rest}" ${statement_length} -1 after)
        set(${script_var} "${before}${after}" PARENT_SCOPE)
        set(${body_var} "${body}" PARENT_SCOPE)
    endfunction()

    cut_statement("  .rdata BLOCK(__section_alignment__) :" script rdata_body)
    cut_statement("  .data BLOCK(__section_alignment__) :" script data_body)
    set(code_end "    PROVIDE (etext = .);")
    set(imports_end "    KEEP (SORT(*)(.idata$7))\n")
    set(unwind_tables "  .eh_frame BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.eh_frame*))\n  }\n")
    string(FIND "${script}" "${unwind_tables}" unwind_at)
    string(FIND "${script}" "${code_end}" code_at)
    string(FIND "${script}" "${imports_end}" imports_at)
    if(rdata_body AND data_body AND NOT code_at EQUAL -1 AND NOT imports_at EQUAL -1 AND NOT unwind_at EQUAL -1)
        string(REPLACE "${unwind_tables}" "  /DISCARD/ : { *(.eh_frame*) }\n" script "${script}")
        string(REPLACE "${code_end}" "    /* constant data */${rdata_body}\n${code_end}" script "${script}")
        string(REPLACE "${imports_end}" "${imports_end}    /* initialised data */\n    . = ALIGN(4);${data_body}\n" script "${script}")
        set(section_script ${CMAKE_BINARY_DIR}/generated/setup-sections.ld)
        file(WRITE ${section_script} "${script}\n")
    endif()
endif()

# The linked installer program: setup-stub where setup.exe is made from a
# stub, else setup itself.
set(installer_program setup)
if(TARGET setup-stub)
    set(installer_program setup-stub)
endif()
if(section_script)
    target_link_options(${installer_program} PRIVATE -Wl,-T,${section_script})
    set_property(TARGET ${installer_program} APPEND PROPERTY LINK_DEPENDS ${section_script})
else()
    # The default layout, without the unwind tables.
    set(discard_script ${PROJECT_SOURCE_DIR}/cmake/DiscardUnwindTables.ld)
    target_link_options(${installer_program} PRIVATE -Wl,-T,${discard_script})
    set_property(TARGET ${installer_program} APPEND PROPERTY LINK_DEPENDS ${discard_script})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        message(WARNING "setup.exe: the linker's default script has an unexpected shape; "
                        "the default section layout is kept (about 1 KiB larger)")
    endif()
endif()
