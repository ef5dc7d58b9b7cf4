# Run with cmake -P: install BUILD_DIR into WORK_DIR/prefix, then configure,
# build and run the consumer project against that prefix.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "step failed (${code}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run_step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run_step(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build -G ${GENERATOR}
         -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
         -DMESHWEAVE_EXPECTED_VERSION=${VERSION}
         "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run_step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step(${WORK_DIR}/build/consumer)

# The installed tool, when the build has one, reports the same version.
if(EXISTS ${prefix}/bin/meshweave)
  execute_process(COMMAND ${prefix}/bin/meshweave --version OUTPUT_VARIABLE tool_version)
  if(NOT tool_version STREQUAL "meshweave ${VERSION}\n")
    message(FATAL_ERROR "meshweave --version printed \"${tool_version}\", not meshweave ${VERSION}")
  endif()
endif()
