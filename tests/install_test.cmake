# Installs a build into a scratch prefix, then checks what landed there: the executable runs and
# names the project version, and the manual page is in its section directory with that version in
# its title line.
#
# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DBINDIR=bin -DMANDIR=share/man
#       -DVERSION=<x.y.z> [-DCONFIG=<config>] -P install_test.cmake

foreach(name BUILD_DIR PREFIX BINDIR MANDIR VERSION)
  if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
    message(FATAL_ERROR "install test: -D${name}=... not given")
  endif()
endforeach()
foreach(name BINDIR MANDIR)
  if(IS_ABSOLUTE "${${name}}")
    message(FATAL_ERROR "install test: ${name} ${${name}} is absolute; --prefix cannot move it")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
set(install_command "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")
if(NOT "${CONFIG}" STREQUAL "")
  list(APPEND install_command --config "${CONFIG}")
endif()
execute_process(COMMAND ${install_command}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install test: cmake --install failed (${status}):\n${output}")
endif()

set(tool "${PREFIX}/${BINDIR}/tpjconv")
if(NOT EXISTS "${tool}")
  message(FATAL_ERROR "install test: ${tool} was not installed:\n${output}")
endif()
execute_process(COMMAND "${tool}" --version
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out STREQUAL "tpjconv ${VERSION}\n" OR NOT err STREQUAL "")
  message(FATAL_ERROR "install test: ${tool} --version gave status ${status}, "
    "standard output [${out}], standard error [${err}]; expected [tpjconv ${VERSION}\\n]")
endif()

set(page "${PREFIX}/${MANDIR}/man1/tpjconv.1")
if(NOT EXISTS "${page}")
  message(FATAL_ERROR "install test: ${page} was not installed:\n${output}")
endif()
file(STRINGS "${page}" title REGEX "^\\.TH ")
string(FIND "${title}" "\"tpjconv ${VERSION}\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "install test: the title line of ${page} does not name tpjconv ${VERSION}: "
    "${title}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed tpjconv ${VERSION} runs from ${tool}")
