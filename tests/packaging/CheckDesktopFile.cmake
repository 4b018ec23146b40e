# cmake -DBUILD_DIR=... -DWORK_DIR=... -P CheckDesktopFile.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/My Programs $HOME 100%")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()
file(STRINGS "${prefix}/share/applications/zeltix.desktop" exec REGEX "^Exec=")
# Quoted for the blanks, \$ inside the quotes (written \\$ by the string escape), %% for %.
set(expected "Exec=\"${WORK_DIR}/My Programs \\\\$HOME 100%%/bin/zeltix\"")
if(NOT exec STREQUAL expected)
    message(FATAL_ERROR "Exec line\n  ${exec}\nexpected\n  ${expected}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
