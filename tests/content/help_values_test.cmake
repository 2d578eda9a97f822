# Configured values reach the Windows-1252 help texts as Windows-1252 bytes,
# and a value that Windows-1252 cannot hold stops the configure step.
# Run with -DSOURCE_DIR=<source tree> -DSUBSTITUTE=<fb_substitute> -DWORK=<dir>;
# with -DVALUE=<text> it only converts that one value, as the configure does.
include(${SOURCE_DIR}/content/cp1252.cmake)

if(DEFINED VALUE)
  fb_cp1252_hex(hex StudySiteName "${VALUE}")
  message(STATUS "hex=${hex}")
  return()
endif()

function(expect_hex value expected)
  fb_cp1252_hex(hex Test "${value}")
  if(NOT hex STREQUAL expected)
    message(FATAL_ERROR "\"${value}\" gave ${hex}, expected ${expected}")
  endif()
endfunction()
expect_hex("Straße 5, Zürich" "53747261df6520352c205afc72696368")
expect_hex("€ „Anführung“ – Ÿ ž" "802084416e66fc6872756e67932096209f209e")
expect_hex("" "")

# A CJK letter and an emoji fail with a message naming the value.
foreach(bad "Humor 中心" "Humor 😀")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DVALUE=${bad}
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0)
    message(FATAL_ERROR "\"${bad}\" was accepted: ${out}")
  endif()
  if(NOT err MATCHES "StudySiteName \"[^\"]*\" contains the character U\\+[0-9A-F]+, which[ \n]+Windows-1252 cannot hold")
    message(FATAL_ERROR "\"${bad}\": unclear message: ${err}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} "-DVALUE=Humor 中心" -P ${CMAKE_CURRENT_LIST_FILE}
                ERROR_VARIABLE err)
if(NOT err MATCHES "U\\+4E2D")
  message(FATAL_ERROR "the CJK letter is not named: ${err}")
endif()

# The build step puts the converted bytes into the real help text.
fb_cp1252_hex(site StudySiteName "Humorforschung Köln")
fb_cp1252_hex(web StudyWebAddress "http://localhost/humor/")
fb_cp1252_hex(mail ContactAddress "humor@localhost")
file(MAKE_DIRECTORY ${WORK})
foreach(n 1 3)
  execute_process(COMMAND ${SUBSTITUTE} ${SOURCE_DIR}/content/help/hilfe${n}.txt.in ${WORK}/hilfe${n}.txt
                          "StudySiteName:hex=${site}" "StudyWebAddress:hex=${web}" "ContactAddress:hex=${mail}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "fb_substitute failed for hilfe${n}.txt")
  endif()
endforeach()
file(READ ${WORK}/hilfe1.txt h1 HEX)
string(HEX "(Humorforschung K" a)
string(HEX "ln)" b)
if(NOT h1 MATCHES "${a}f6${b}")
  message(FATAL_ERROR "hilfe1.txt does not hold \"Humorforschung K\\xF6ln\" in Windows-1252")
endif()
file(READ ${WORK}/hilfe1.txt h1)
file(READ ${WORK}/hilfe3.txt h3)
if(h1 MATCHES "@[A-Za-z]+@" OR h3 MATCHES "@[A-Za-z]+@")
  message(FATAL_ERROR "a placeholder is left in the help texts")
endif()
file(READ ${WORK}/hilfe3.txt h3hex HEX)
string(HEX "Web: http://localhost/humor/\r\nE-Mail: humor@localhost" needle)
string(FIND "${h3hex}" "${needle}" at)
if(at LESS 0)
  message(FATAL_ERROR "hilfe3.txt: ${h3}")
endif()
