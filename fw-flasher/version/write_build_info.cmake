# Writes build_info.h from build_info.h.in: VERSION, and the commit of the checkout
# at SOURCE_DIR when there is one (none in an unpacked source tree, none without
# git). Run with cmake -P; the output is left untouched when its content stays the
# same, so nothing rebuilds for an unchanged commit.
set(FW_FLASHER_GIT_COMMIT "")
if(GIT_EXECUTABLE)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
    OUTPUT_VARIABLE top RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # Only this project's own checkout, not a repository that happens to hold the tree.
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT failed AND top STREQUAL source)
    execute_process(
      COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
      OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed)
      execute_process(
        COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} diff --quiet HEAD --
        RESULT_VARIABLE changed ERROR_QUIET)
      set(FW_FLASHER_GIT_COMMIT "${commit}")
      if(changed)
        string(APPEND FW_FLASHER_GIT_COMMIT "-modified")
      endif()
    endif()
  endif()
endif()
set(FW_FLASHER_VERSION "${VERSION}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
