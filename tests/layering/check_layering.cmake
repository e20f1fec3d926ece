# Run by CTest (tests/layering/CMakeLists.txt): cmake -DLIB=... -P check_layering.cmake
#   LIB          the library checked, a folder of SOURCE_DIR
#   BELOW        comma-separated libraries LIB may include from
#   ABOVE        comma-separated libraries LIB must not include from
#   ROOTS_FILE   sets ROOTS, the include directories LIB's sources are compiled with
#   SOURCE_DIR   src/ of the project; WORK_DIR a scratch folder
#   CXX, CXX_STANDARD   the project's compiler and its C++20 option
include(${ROOTS_FILE})
string(REPLACE "," ";" BELOW "${BELOW}")
string(REPLACE "," ";" ABOVE "${ABOVE}")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(include_flags "")
foreach(root ${ROOTS})
  list(APPEND include_flags "-I${root}")
endforeach()

# Compiles SOURCE (syntax only, nothing is written); OUT_RC and OUT_LOG receive the result.
function(compile source out_rc out_log)
  execute_process(
    COMMAND ${CXX} ${CXX_STANDARD} -fsyntax-only ${include_flags} ${source}
    WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${out_rc} ${rc} PARENT_SCOPE)
  set(${out_log} "${out}" PARENT_SCOPE)
endfunction()

function(headers_of lib out)
  file(GLOB found RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${lib}/*.h ${SOURCE_DIR}/${lib}/*.hpp)
  list(SORT found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

set(failures "")

# The library's own headers and those below it compile with its roots.
set(allowed_text "")
set(count 0)
foreach(lib ${LIB} ${BELOW})
  headers_of(${lib} headers)
  if(NOT headers)
    list(APPEND failures "no header found in ${SOURCE_DIR}/${lib}")
  endif()
  foreach(h ${headers})
    string(APPEND allowed_text "#include \"${h}\"\n")
    math(EXPR count "${count} + 1")
  endforeach()
endforeach()
file(WRITE ${WORK_DIR}/allowed.cpp "${allowed_text}")
compile(${WORK_DIR}/allowed.cpp rc log)
if(NOT rc EQUAL 0)
  list(APPEND failures "the headers of ${LIB} and of the libraries below it (${BELOW}) do not compile with the include roots of ${LIB}:\n${log}")
else()
  string(JOIN " " libs ${LIB} ${BELOW})
  message(STATUS "${LIB}: the ${count} headers of ${libs} compile with the include roots of ${LIB}")
endif()

# An include of a library above or beside it does not: its header is not found.
foreach(other ${ABOVE})
  headers_of(${other} headers)
  if(NOT headers)
    list(APPEND failures "no header found in ${SOURCE_DIR}/${other}")
    continue()
  endif()
  list(GET headers 0 header)
  file(WRITE ${WORK_DIR}/upward-${other}.cpp "#include \"${header}\"\n")
  compile(${WORK_DIR}/upward-${other}.cpp rc log)
  string(REPLACE "." "\\." header_regex "${header}")
  if(rc EQUAL 0)
    list(APPEND failures "${LIB} includes \"${header}\" and compiles: its include roots reach ${other}")
  elseif(NOT log MATCHES "${header_regex}'?:? (No such file or directory|file not found)")
    list(APPEND failures "${LIB} including \"${header}\" failed for another reason than a missing header:\n${log}")
  else()
    message(STATUS "${LIB}: #include \"${header}\" does not compile (not found)")
  endif()
endforeach()

if(failures)
  string(JOIN "\n" text ${failures})
  message(FATAL_ERROR "${text}")
endif()
