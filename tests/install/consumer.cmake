# cmake -DPREFIX=... -DSOURCE=... -DBINARY=... -DGENERATOR=... -DCXX=... [-DSANITIZE=...] -P consumer.cmake:
# configures, builds and runs the embedding program against the package installed in PREFIX.
file(REMOVE_RECURSE ${BINARY})
set(flags)
if(SANITIZE)
    # The installed libraries were built with the sanitizers; so must the program that links them.
    string(REPLACE ";" "," sanitizers "${SANITIZE}")
    list(APPEND flags "-DCMAKE_CXX_FLAGS=-fsanitize=${sanitizers}" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${sanitizers}")
endif()
foreach(step configure build run)
    if(step STREQUAL configure)
        set(command ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
                    -DCMAKE_PREFIX_PATH=${PREFIX} ${flags})
    elseif(step STREQUAL build)
        set(command ${CMAKE_COMMAND} --build ${BINARY})
    else()
        set(command ${BINARY}/embedder)
    endif()
    execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${step} of the embedding program failed (${result}):\n${output}")
    endif()
endforeach()
message(STATUS "${output}")
