# Fails when any of our C++ sources differs from what clang-format makes of it.
file(GLOB_RECURSE files
     ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.cpp
     ${SOURCE_DIR}/kvr_window/*.h ${SOURCE_DIR}/kvr_window/*.cpp
     ${SOURCE_DIR}/bitmap_font/*.h ${SOURCE_DIR}/bitmap_font/*.cpp
     ${SOURCE_DIR}/shapes/*.h ${SOURCE_DIR}/shapes/*.cpp
     ${SOURCE_DIR}/Kelvor/*.h ${SOURCE_DIR}/Kelvor/*.cpp
     ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.cpp
     ${SOURCE_DIR}/bench/*.h ${SOURCE_DIR}/bench/*.cpp
     ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
set(bad "")
foreach(f ${files})
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror --style=file ${f}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(NOT rc EQUAL 0)
        list(APPEND bad ${f})
    endif()
endforeach()
if(bad)
    string(REPLACE ";" "\n  " bad "${bad}")
    message(FATAL_ERROR "Not formatted (run scripts/format.sh):\n  ${bad}")
endif()
list(LENGTH files n)
message(STATUS "${n} files formatted")
