# Installs a build into a scratch prefix, then checks what landed there: the executable runs and
# names the project version and its licence, the manual page is in its section directory with that
# version in its title line, and the licence is with the documentation.
#
# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DBINDIR=bin -DMANDIR=share/man
#       -DDOCDIR=share/doc/tpjconv -DVERSION=<x.y.z> [-DCONFIG=<config>] -P install_test.cmake

foreach(name BUILD_DIR PREFIX BINDIR MANDIR DOCDIR VERSION)
  if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
    message(FATAL_ERROR "install test: -D${name}=... not given")
  endif()
endforeach()
foreach(name BINDIR MANDIR DOCDIR)
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
set(expected "tpjconv ${VERSION}\nLicence: BSD-3-Clause\n")
if(NOT status EQUAL 0 OR NOT out STREQUAL expected OR NOT err STREQUAL "")
  message(FATAL_ERROR "install test: ${tool} --version gave status ${status}, "
    "standard output [${out}], standard error [${err}]; expected [${expected}]")
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

set(licence "${PREFIX}/${DOCDIR}/LICENSE")
if(NOT EXISTS "${licence}")
  message(FATAL_ERROR "install test: ${licence} was not installed:\n${output}")
endif()
file(STRINGS "${licence}" licence_title LIMIT_COUNT 1)
if(NOT licence_title STREQUAL "BSD 3-Clause License")
  message(FATAL_ERROR "install test: ${licence} is missing or not the BSD 3-Clause licence: "
    "[${licence_title}]")
endif()

file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed tpjconv ${VERSION} runs from ${tool}")
