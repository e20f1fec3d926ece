# Writes a gzipped manual page from a template and the program's --help and --version:
#   cmake -DPROGRAM=... -DTEMPLATE=... -DOUTPUT=page.1.gz -P ManPage.cmake
# The option list of the page is the program's own text, so it cannot drift from it.
execute_process(COMMAND "${PROGRAM}" --help RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc}): ${err}")
endif()
execute_process(COMMAND "${PROGRAM}" --version RESULT_VARIABLE rc OUTPUT_VARIABLE version_line ERROR_VARIABLE err
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT version_line MATCHES "^[^ ]+ ([^ ]+) \\(commit ([^)]+)\\)$")
  message(FATAL_ERROR "${PROGRAM} --version failed (${rc}): ${version_line} ${err}")
endif()
set(VERSION "${CMAKE_MATCH_1}")
set(PROVENANCE "Marlinq Solver ${CMAKE_MATCH_1} (commit ${CMAKE_MATCH_2})")
# Roff: a backslash is \e, a hyphen \- (so that options copy as typed), and every line starts
# with the empty \& (a line starting with a dot or an apostrophe would be a request).
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")
string(REPLACE "\n" "\n\\&" help "${help}")
set(HELP "\\&${help}")
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
configure_file("${TEMPLATE}" "${page}" @ONLY)
# Compressed as Debian installs manual pages; -n keeps the date out, so equal pages are equal files.
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${page}")
endif()
