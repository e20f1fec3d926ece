# The Debian package marlinq_<version>_<arch>.deb (`cpack -G DEB` in the build folder, or
# `cmake --build build --target package`): everything `cmake --install` installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marlinq)
set(CPACK_PACKAGE_VENDOR "Marlinq Solver")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Size distributions of complexes of oppositely charged diblock copolymers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Marlinq Solver predicts how oppositely charged diblock copolymers in a salt solution
associate into spherical complexes: for each pair of aggregation numbers it computes the
free energy (Poisson-Boltzmann or Debye-Hueckel) and the size distribution.
This package holds the window (marlinq), the batch command (marlinq-batch), the
single-chain tables and the Python module marlinq.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marlinq Solver developers <marlinq@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs and the module link (Qt, OpenMP, the C++ runtime) from
# dpkg-shlibdeps; the interpreter and NumPy the module imports, by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(MARLINQ_DEB_PYTHON_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${MARLINQ_DEB_PYTHON_DEPENDS}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE _deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _rc ERROR_QUIET)
if(NOT _rc EQUAL 0 OR _deb_arch STREQUAL "")
  set(_deb_arch amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_deb_arch})
set(CPACK_DEBIAN_FILE_NAME "marlinq_${PROJECT_VERSION}_${_deb_arch}.deb")
set(CPACK_STRIP_FILES ON)
# Python leaves compiled files beside the module when root imports it: removed with the package.
configure_file(${CMAKE_CURRENT_LIST_DIR}/prerm.in ${CMAKE_BINARY_DIR}/packaging/deb/prerm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/deb/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
