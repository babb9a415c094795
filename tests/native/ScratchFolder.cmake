# The scratch folder of the native tests (their TMPDIR):
#   cmake -DDIR=... -DMODE=prepare -P ScratchFolder.cmake   empties it before
#   cmake -DDIR=... -DMODE=check -P ScratchFolder.cmake     fails when a test left anything in it
if(MODE STREQUAL "prepare")
    file(REMOVE_RECURSE "${DIR}")
    file(MAKE_DIRECTORY "${DIR}")
elseif(MODE STREQUAL "check")
    file(GLOB left LIST_DIRECTORIES true "${DIR}/*")
    if(left)
        file(REMOVE_RECURSE ${left})
        message(FATAL_ERROR "the native tests left scratch files behind (now removed): ${left}")
    endif()
else()
    message(FATAL_ERROR "MODE must be prepare or check")
endif()
