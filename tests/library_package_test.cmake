# Installs a build into a scratch prefix, builds tests/library_consumer against the installed
# package with find_package(tpjconv), and runs it with the shared and the static library: each
# prints the version, the totals, the finding (also as its findings-file row) and the converted
# record of one genrou record.
#
# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DSOURCE_DIR=<source> -DVERSION=<x.y.z>
#       [-DCONFIG=<config>] [-DLINK_FLAGS=<flags>] -P library_package_test.cmake
# LINK_FLAGS are the build's own for programs (--coverage, a sanitizer), which a program linking
# its static library needs too.

include("${CMAKE_CURRENT_LIST_DIR}/install_library.cmake")

set(consumer "${PREFIX}/consumer")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/tests/library_consumer"
    -B "${consumer}" -DCMAKE_PREFIX_PATH=${PREFIX}/usr -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "library package test: the consumer does not configure:\n${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${consumer}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "library package test: the consumer does not build:\n${output}")
endif()

# execute_process hands standard output back with each CR LF made LF, so the row's CR LF ending
# is checked by the findings-file tests, not here.
string(CONCAT expected
  "finding genrou line 1 bus 7 code 201 tpdo < 2.0: tpdo 1.5 -> 2\n"
  "in.dat,1,genrou,7,G7,22,1,0,201,tpdo < 2.0,tpdo,1.5,2\n"
  "tpjconv ${VERSION}: read 1 changed 1\n"
  "gentpj 7 \"G7      \" 22.00 \"1 \" : #9 mva=100.000   2.000 0.050 0.4000 0.0500  3.000 "
  "0.00 1.8000 1.7000 0.3000 0.6000 0.2500 0.2500 0.1500 0.1000 0.3000 0.0030  0.0000  0.0000"
  "  0.50 0.3000\n")
foreach(program consumer consumer_static)
  execute_process(COMMAND "${consumer}/${program}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "library package test: ${program} gave status ${status}, standard "
      "output [${out}], standard error [${err}]; expected [${expected}]")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "the installed tpjconv package builds and runs a program of another project")
