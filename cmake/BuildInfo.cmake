# Writes the file of the build's provenance (the release and the commit of the sources),
# run on every build: cmake -DSOURCE_DIR=... -DTEMPLATE=... -DOUTPUT=... -DVERSION=... -P BuildInfo.cmake
# The file is rewritten only when its text changes, so an unchanged commit recompiles nothing.
# A source tree that is not the top of a git checkout (a tarball, perhaps unpacked inside
# some other repository) has the commit "unknown".
set(MARLINQ_VERSION "${VERSION}")
set(MARLINQ_COMMIT "unknown")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
    RESULT_VARIABLE rc OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0 AND commit MATCHES "^[0-9a-f]+$")
    set(MARLINQ_COMMIT "${commit}")
    # Tracked files that differ from the commit (untracked ones, such as a build folder, do not count).
    execute_process(COMMAND "${GIT_EXECUTABLE}" --no-optional-locks -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
      RESULT_VARIABLE rc OUTPUT_VARIABLE changes ERROR_QUIET)
    if(rc EQUAL 0 AND NOT changes STREQUAL "")
      string(APPEND MARLINQ_COMMIT "-dirty")
    endif()
  endif()
endif()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
