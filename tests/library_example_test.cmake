# Builds examples/library against the library package installed into a scratch prefix, runs it on
# the bundled example and every corpus file (where the shared corpus is there) and compares what it prints with the findings file that the tool writes for
# the same file with the same settings (every model at Kis 0.3, no bus numbers file), byte for
# byte. Both go to files, which keep their CR LF line ends.
#
# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DSOURCE_DIR=<source> -DTOOL=<tpjconv>
#       -DCORPUS_DIR=<dir of .dat files> [-DCONFIG=<config>] [-DLINK_FLAGS=<flags>]
#       -P library_example_test.cmake

include("${CMAKE_CURRENT_LIST_DIR}/install_library.cmake")

set(example "${PREFIX}/example")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/library" -B "${example}"
    -DCMAKE_PREFIX_PATH=${PREFIX}/usr -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "library example test: the example does not configure:\n${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${example}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "library example test: the example does not build:\n${output}")
endif()

set(inputs "${SOURCE_DIR}/examples/plant.dat")
set(least_rows 4)
if(IS_DIRECTORY "${CORPUS_DIR}")
  file(GLOB corpus "${CORPUS_DIR}/*.dat")
  if(NOT corpus)
    message(FATAL_ERROR "library example test: no .dat file in ${CORPUS_DIR}")
  endif()
  list(APPEND inputs ${corpus})
  set(least_rows 10)
else()
  message(STATUS "the shared corpus of real dynamic-data files is not at ${CORPUS_DIR}: "
    "the bundled example only")
endif()
set(work "${PREFIX}/runs")
set(rows 0)
foreach(input ${inputs})
  get_filename_component(name "${input}" NAME_WE)
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  execute_process(COMMAND "${TOOL}" --yes "${input}" none out.dat 0.3 0.3 0.3 check.log
      report.txt --findings tool.csv
    WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "library example test: tpjconv on ${name} gave status ${status}:\n${err}")
  endif()
  execute_process(COMMAND "${example}/tpjconv_findings" "${input}"
    WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_FILE "${work}/example.csv"
    ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "library example test: the example on ${name} gave status ${status}:\n"
      "${err}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${work}/tool.csv"
    "${work}/example.csv" RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    file(COPY "${work}/tool.csv" "${work}/example.csv"
      DESTINATION "${PREFIX}/../library_example_${name}")
    message(FATAL_ERROR "library example test: on ${name} the example's rows differ from "
      "--findings (both kept in ${PREFIX}/../library_example_${name})")
  endif()
  file(STRINGS "${work}/tool.csv" lines)
  list(LENGTH lines n)
  math(EXPR rows "${rows} + ${n} - 1")
  message(STATUS "${name}: ${n} lines, the same")
endforeach()
if(rows LESS least_rows)
  message(FATAL_ERROR "library example test: only ${rows} findings in the files")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "the example prints what --findings writes: ${count} files, ${rows} findings")
