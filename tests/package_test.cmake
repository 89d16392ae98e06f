# Makes the packages of a build with cpack and checks what each holds: the tool, its manual page
# and the licence, and in the Windows .zip the README and the licence as text with CR LF line
# ends. The tool of the .tar.gz is unpacked and run with --version; that of the .zip is only
# checked to be a Windows program (tests/wine_cases.sh runs the build's own).
#
# cmake -DBUILD_DIR=<build> -DOUT=<scratch> -DCPACK=<cpack> -DVERSION=<x.y.z>
#       [-DBINDIR=bin -DMANDIR=share/man -DDOCDIR=share/doc/tpjconv] [-DCONFIG=<config>]
#       -P package_test.cmake
# The install folders are those of the .tar.gz, needed when it is made.

foreach(name BUILD_DIR OUT CPACK VERSION)
  if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
    message(FATAL_ERROR "package test: -D${name}=... not given")
  endif()
endforeach()

function(fail text)
  message(FATAL_ERROR "package test: ${text}")
endfunction()

# The build's packaging settings: which generators, and the package name.
include("${BUILD_DIR}/CPackConfig.cmake")

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
set(command "${CPACK}" --config "${BUILD_DIR}/CPackConfig.cmake" -B "${OUT}")
if(NOT "${CONFIG}" STREQUAL "")
  list(APPEND command -C "${CONFIG}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  fail("cpack failed (${status}):\n${output}")
endif()

# Fails unless every one of `expected` is an entry of `listing`.
function(expect_entries package listing)
  foreach(entry ${ARGN})
    string(REGEX REPLACE "([][+.*^$()|?\\\\])" "\\\\\\1" pattern "${entry}")
    if(NOT listing MATCHES "(^|\n)[^\n]*${pattern}(\n|$)")
      fail("${package} holds no ${entry}; it holds:\n${listing}")
    endif()
  endforeach()
endfunction()

set(top "${CPACK_PACKAGE_FILE_NAME}")
# A build with the Python module carries its package folder, under the folder the build
# installs it into (TPJCONV_PYTHON_INSTALL_DIR of its cache).
load_cache("${BUILD_DIR}" READ_WITH_PREFIX build_ TPJCONV_PYTHON_INSTALL_DIR)
set(python_files "")
set(python_package "${BUILD_DIR}/python/tpjconv")
if(EXISTS "${python_package}/__init__.py" AND NOT build_TPJCONV_PYTHON_INSTALL_DIR STREQUAL "")
  file(GLOB extension RELATIVE "${python_package}" "${python_package}/_tpjconv.*")
  foreach(file __init__.py __init__.pyi py.typed ${extension})
    list(APPEND python_files "${build_TPJCONV_PYTHON_INSTALL_DIR}/tpjconv/${file}")
  endforeach()
endif()
set(expected_version "tpjconv ${VERSION}\nLicence: BSD-3-Clause\n")
set(runnable "")
foreach(generator ${CPACK_GENERATOR})
  if(generator STREQUAL "TGZ")
    foreach(name BINDIR MANDIR DOCDIR)
      if("${${name}}" STREQUAL "")
        fail("-D${name}=... not given")
      endif()
    endforeach()
    set(package "${OUT}/${top}.tar.gz")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${package}"
      RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE listing)
    expect_entries("${package}" "${listing}" "${top}/${BINDIR}/tpjconv"
      "${top}/${MANDIR}/man1/tpjconv.1" "${top}/${DOCDIR}/LICENSE")
    list(TRANSFORM python_files PREPEND "${top}/" OUTPUT_VARIABLE expected)
    expect_entries("${package}" "${listing}" ${expected})
    set(runnable "${package}" "${top}/${BINDIR}/tpjconv")
  elseif(generator STREQUAL "ZIP")
    set(package "${OUT}/${top}.zip")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${package}"
      RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE listing)
    expect_entries("${package}" "${listing}" "${top}/tpjconv.exe" "${top}/tpjconv.1"
      "${top}/README.txt" "${top}/LICENSE.txt")
    set(runnable "${package}" "${top}/tpjconv.exe")
  elseif(generator STREQUAL "DEB")
    file(GLOB package "${OUT}/*.deb")
    find_program(dpkg_deb dpkg-deb)
    if(NOT package OR NOT dpkg_deb)
      fail("no .deb in ${OUT}, or no dpkg-deb to read it:\n${output}")
    endif()
    execute_process(COMMAND "${dpkg_deb}" --contents "${package}"
      RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE listing)
    expect_entries("${package}" "${listing}" "./usr/bin/tpjconv" "./usr/share/man/man1/tpjconv.1"
      "./usr/share/doc/tpjconv/LICENSE")
    list(TRANSFORM python_files PREPEND "./usr/" OUTPUT_VARIABLE expected)
    expect_entries("${package}" "${listing}" ${expected})
    execute_process(COMMAND "${dpkg_deb}" --field "${package}" Package Version
      OUTPUT_VARIABLE fields)
    if(NOT fields STREQUAL "Package: tpjconv\nVersion: ${VERSION}\n")
      fail("${package} is not tpjconv ${VERSION}:\n${fields}")
    endif()
  else()
    fail("no check for the ${generator} package")
  endif()
  if(NOT status EQUAL 0)
    fail("cannot list ${package}:\n${listing}")
  endif()
  message(STATUS "${package}:\n${listing}")
endforeach()

if(runnable)
  list(GET runnable 0 package)
  list(GET runnable 1 tool)
  set(unpacked "${OUT}/unpacked")
  file(MAKE_DIRECTORY "${unpacked}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${package}"
    WORKING_DIRECTORY "${unpacked}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("cannot unpack ${package}")
  endif()
  if(EXISTS "${unpacked}/${top}/README.txt")
    # Read as hexadecimal: file(READ) would give a CR as a line end.
    file(READ "${unpacked}/${top}/README.txt" readme LIMIT 11 HEX)
    if(NOT readme STREQUAL "232074706a636f6e760d0a")
      fail("README.txt of ${package} does not begin with \"# tpjconv\" and CR LF")
    endif()
  endif()
  if(tool MATCHES "\\.exe$")
    file(READ "${unpacked}/${tool}" magic LIMIT 2 HEX)
    if(NOT magic STREQUAL "4d5a")
      fail("${tool} of ${package} is no Windows program")
    endif()
  else()
    execute_process(COMMAND "${unpacked}/${tool}" --version
      RESULT_VARIABLE status OUTPUT_VARIABLE out)
    if(NOT status EQUAL 0 OR NOT out STREQUAL expected_version)
      fail("${tool} of ${package} --version gave status ${status} and [${out}], \
expected [${expected_version}]")
    endif()
  endif()
endif()

file(REMOVE_RECURSE "${OUT}")
message(STATUS "packages of tpjconv ${VERSION} hold what they should")
