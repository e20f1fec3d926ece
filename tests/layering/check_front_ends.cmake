# Run by CTest (tests/layering/CMakeLists.txt): cmake -DROOT=... -P check_front_ends.cmake
#   ROOT        the project's source folder
#   EXCEPTIONS  comma-separated files (relative to ROOT) not yet held to the rule
# The front ends (the window in src/ui and apps/gui, the batch command in apps/batch, the
# Python module in python/src) reach the formats through the engine's service headers
# (pipeline/Engine.h and the others of pipeline/) and the io library (io/); none includes a
# header of files/, the formats' internals. Their own folders' headers stay theirs.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" EXCEPTIONS "${EXCEPTIONS}")
file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/apps/*.cpp ${ROOT}/apps/*.h ${ROOT}/python/src/*.cpp ${ROOT}/python/src/*.h
  ${ROOT}/src/ui/*.cpp ${ROOT}/src/ui/*.h)
list(SORT sources)
set(failures "")
set(checked 0)
foreach(source ${sources})
  if(source IN_LIST EXCEPTIONS)
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]files/")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    list(APPEND failures "${source}: ${line}")
  endforeach()
endforeach()
if(checked LESS 20)
  message(FATAL_ERROR "only ${checked} front-end files found under ${ROOT}: the check looks in the wrong place")
endif()
if(failures)
  string(JOIN "\n  " text ${failures})
  message(FATAL_ERROR "front ends include the internals of files/ (include pipeline/Engine.h or io/ instead):\n  ${text}")
endif()
message(STATUS "${checked} front-end files include nothing of files/")
