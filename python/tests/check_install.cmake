# Run with cmake -P: install BUILD_DIR into WORK_DIR/prefix, then import the
# package from there alone and use it.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
# Only the package: it links the library statically and needs nothing else.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component python
                RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "install failed (${code}): ${err}")
endif()
set(package ${prefix}/${SITE_DIR}/meshweave)
foreach(file __init__.py _errors.py __init__.pyi _meshweave.pyi py.typed)
  if(NOT EXISTS ${package}/${file})
    message(FATAL_ERROR "${package}/${file} was not installed")
  endif()
endforeach()
set(check [=[
import sys, meshweave
assert meshweave.__file__.startswith(sys.argv[1]), meshweave.__file__
plan = meshweave.Topology.m1472().point_to_point(0, 1, 4)
assert int(plan.sender[0]) == meshweave.ROW_ENTRY_INSTRUCTION
]=])
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${SITE_DIR}
                        ${PYTHON} -c "${check}" ${package}
                WORKING_DIRECTORY ${WORK_DIR}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "importing the installed package failed (${code}):\n${out}\n${err}")
endif()
