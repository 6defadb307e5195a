# Installs the build tree into a scratch prefix and fails when a file the command line
# ships is missing: the programs, the manual page and the bash completion.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/veltrika bin/veltrika-utility bin/veltrika-utility-demo
             share/man/man1/veltrika.1.gz share/bash-completion/completions/veltrika)
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
