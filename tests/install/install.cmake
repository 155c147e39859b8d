# cmake -DBUILD_DIR=<build tree> -DPREFIX=<prefix> -P install.cmake: installs the build tree into a
# fresh prefix, so that a file no longer installed cannot linger from an earlier run.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
