# zlib's inflate for setup.exe, built from Debian's zlib source package.
#
# setup.exe needs only inflate with the zlib wrapper (adler32). The prebuilt
# static library was compiled at -O2 without per-function sections and pulls
# in the gzip header code and crc32; built here from the four sources inflate
# needs, at -Oz, with gzip support left out, the linker keeps only what is
# called. scripts/install-deps.sh fetches the source (`apt-get source zlib`)
# into SETUP_ZLIB_SOURCE_DIR; when it is missing the prebuilt library is used
# and setup.exe comes out larger.
#
# Defines the target setup_inflate.
set(SETUP_ZLIB_SOURCE_DIR "/usr/local/src/setup-deps/zlib" CACHE PATH
    "Unpacked zlib source package inflate is built from (scripts/install-deps.sh fetches it)")
# The inner decoding loop (inffast.c) is compiled like the rest: at -Oz it is
# 320 bytes smaller than at -O2, and inflating the 200 MiB benchmark payload
# ran as fast either way (within the noise of this machine, 155 to 233 MB/s
# for both). The option is here to measure it again (bench/extract.sh).
set(SETUP_ZLIB_FAST_LOOP_FLAGS "-Oz" CACHE STRING "Optimisation flags for inffast.c")

if(EXISTS "${SETUP_ZLIB_SOURCE_DIR}/inflate.c")
    set(zsrc ${SETUP_ZLIB_SOURCE_DIR})
    add_library(setup_inflate STATIC
        ${zsrc}/inflate.c ${zsrc}/inftrees.c ${zsrc}/inffast.c ${zsrc}/adler32.c
        ${PROJECT_SOURCE_DIR}/src/archive/InflateMemory.cpp)
    target_include_directories(setup_inflate SYSTEM PUBLIC ${zsrc})
    # NO_GZIP: the payload holds zlib streams only, so the gzip header code
    # and crc32 are not needed. BUILDFIXED: the fixed code tables (2 KiB) are
    # computed at the first fixed block instead of being stored.
    # MY_ZCALLOC: the default allocation routines come from
    # InflateMemory.cpp (the process heap), not from the C library, under
    # names of their own, so that a program that also links the prebuilt
    # library for deflate (the tests) gets no duplicate. zutil.c then has
    # nothing inflate needs (its error texts and version queries), so it is
    # left out.
    target_compile_definitions(setup_inflate PRIVATE NO_GZIP BUILDFIXED MY_ZCALLOC
        zcalloc=setup_zcalloc zcfree=setup_zcfree)
    target_compile_options(setup_inflate PRIVATE
        -Oz -ffunction-sections -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-jump-tables
        $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>:-mpreferred-stack-boundary=2>
        $<$<COMPILE_LANGUAGE:C>:-w> $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti ${SETUP_WARNINGS}>)
    set_source_files_properties(${zsrc}/inffast.c PROPERTIES COMPILE_OPTIONS "${SETUP_ZLIB_FAST_LOOP_FLAGS}")
    message(STATUS "inflate: built from ${zsrc}")
else()
    set(ZLIB_USE_STATIC_LIBS ON)
    find_package(ZLIB REQUIRED)
    add_library(setup_inflate INTERFACE)
    target_link_libraries(setup_inflate INTERFACE ZLIB::ZLIB)
    message(WARNING "inflate: no zlib source in ${SETUP_ZLIB_SOURCE_DIR} (scripts/install-deps.sh fetches it); "
                    "using the prebuilt static library, setup.exe will be about 13 KiB larger")
endif()
