# Runs the image generator into the build folder and fails unless its output equals the committed
# data source byte for byte.
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gen_images failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
    message(FATAL_ERROR "${COMMITTED} differs from a fresh run of gen_images (${OUTPUT}): "
                        "regenerate it with the regen_images target and commit it")
endif()
message(STATUS "images_data.cpp reproduced byte for byte")
