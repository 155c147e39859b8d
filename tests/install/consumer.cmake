# cmake -DPREFIX=... -DSOURCE=... -DBINARY=... -DGENERATOR=... -DCXX=... [-DSANITIZE=...] -P consumer.cmake:
# configures, builds and runs the embedding program against the package installed in PREFIX.
file(REMOVE_RECURSE ${BINARY})
set(flags)
if(SANITIZE)
    # The installed libraries were built with the sanitizers; so must the program that links them.
    string(REPLACE ";" "," sanitizers "${SANITIZE}")
    list(APPEND flags "-DCMAKE_CXX_FLAGS=-fsanitize=${sanitizers}" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${sanitizers}")
endif()
function(step name)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${name} of the embedding program failed (${result}):\n${output}")
    endif()
    message(STATUS "${output}")
endfunction()
step(configure ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
               -DCMAKE_PREFIX_PATH=${PREFIX} ${flags})
step(build ${CMAKE_COMMAND} --build ${BINARY})
step(run ${BINARY}/embedder)
