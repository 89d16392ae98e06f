# Installs the build in BUILD_DIR into ${PREFIX}/usr (with CONFIG when set) and checks that the
# public headers are there: the first step of the tests that build programs against the package.

file(REMOVE_RECURSE "${PREFIX}")
set(install_command "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}/usr")
if(NOT "${CONFIG}" STREQUAL "")
  list(APPEND install_command --config "${CONFIG}")
endif()
execute_process(COMMAND ${install_command} RESULT_VARIABLE status OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()
foreach(header tpjconv.h error.h export.h findings.h findings_csv.h io.h)
  if(NOT EXISTS "${PREFIX}/usr/include/tpjconv/${header}")
    message(FATAL_ERROR "include/tpjconv/${header} was not installed")
  endif()
endforeach()
