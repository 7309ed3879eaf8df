# Makes the setup program and the release archive from a build (run with cmake -P):
#   -DVERSION= -DBIN_DIR= -DRESOURCE_DIR= -DSTARTER_DIR=<the starter pack's folder>
#   -DSOURCE_DIR=<installer/> -DOUT_DIR= -DMAKENSIS= -DSTRIP=
# The pack's name and command words are read from its install.ini, so the setup's pages
# and the README name what the pack really holds.
file(STRINGS "${STARTER_DIR}/install.ini" name_line REGEX "^Name=")
file(STRINGS "${STARTER_DIR}/install.ini" command_lines REGEX "^Command=")
string(REGEX REPLACE "^Name=([^\r]*).*" "\\1" STARTER_NAME "${name_line}")
set(words "")
foreach(line IN LISTS command_lines)
  string(REGEX REPLACE "^Command=([^\r]*).*" "\\1" word "${line}")
  list(APPEND words "${word}")
endforeach()
list(JOIN words ", " STARTER_WORDS)
if(STARTER_NAME STREQUAL "" OR STARTER_WORDS STREQUAL "")
  message(FATAL_ERROR "no pack name or command words in ${STARTER_DIR}/install.ini")
endif()

set(stage "${OUT_DIR}/Tunelark-${VERSION}")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
configure_file("${SOURCE_DIR}/README.txt.in" "${stage}/README.txt" @ONLY NEWLINE_STYLE CRLF)
file(COPY "${BIN_DIR}/Tunelark.dll" "${BIN_DIR}/tlpack.exe" DESTINATION "${stage}")
# Users get the binaries without the build's debugging information.
execute_process(COMMAND "${STRIP}" --strip-debug "${stage}/Tunelark.dll" "${stage}/tlpack.exe" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "strip failed (${failed})")
endif()
file(COPY "${STARTER_DIR}/" DESTINATION "${stage}/${STARTER_NAME}")

set(setup "${OUT_DIR}/Tunelark-${VERSION}-setup.exe")
execute_process(
  COMMAND "${MAKENSIS}" -V2 -INPUTCHARSET UTF8
          "-DVERSION=${VERSION}" "-DBIN_DIR=${stage}" "-DRESOURCE_DIR=${RESOURCE_DIR}"
          "-DSTARTER_DIR=${stage}/${STARTER_NAME}" "-DSTARTER_NAME=${STARTER_NAME}"
          "-DSTARTER_WORDS=${STARTER_WORDS}" "-DREADME=${stage}/README.txt" "-DOUT_FILE=${setup}"
          "${SOURCE_DIR}/tunelark.nsi"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "makensis failed (${failed})")
endif()

file(REMOVE "${OUT_DIR}/Tunelark-${VERSION}.zip")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUT_DIR}/Tunelark-${VERSION}.zip" --format=zip
                        "Tunelark-${VERSION}"
                WORKING_DIRECTORY "${OUT_DIR}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the release archive could not be made")
endif()
