# Runs the icon generator into a folder of the build tree and fails unless every file it writes
# equals the committed one in packaging/ byte for byte.
file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${GENERATOR} ${OUTPUT_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gen_icon failed (${rc})")
endif()
foreach(name kelvor.ico kelvor-16.png kelvor-32.png kelvor-48.png kelvor-64.png kelvor-128.png kelvor-256.png kelvor.svg)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT_DIR}/${name} ${COMMITTED_DIR}/${name}
                    RESULT_VARIABLE diff)
    if(NOT diff EQUAL 0)
        message(FATAL_ERROR "${COMMITTED_DIR}/${name} differs from a fresh run of gen_icon (${OUTPUT_DIR}/${name}): "
                            "regenerate the icon with the regen_icon target and commit it")
    endif()
endforeach()
message(STATUS "the icon files reproduced byte for byte")
