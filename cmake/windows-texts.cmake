# cmake -DMANDOC=... -DSOURCE_DIR=... -DPAGE=... -DOUT=... -P windows-texts.cmake
# Writes the text files of the Windows zip into OUT: the README, the
# licence, the notices, and the manual rendered from the man page PAGE as
# plain ASCII text. All get CR LF line ends, which Notepad before Windows
# 10 1809 needs to show lines at all.

# Writes text to OUT/name with CR LF line ends.
function(write_crlf name text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${OUT}/${name}" "${text}")
endfunction()

foreach(pair README.md:README.md LICENSE:LICENSE doc/windows-notices.txt:NOTICES.txt)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  file(READ "${SOURCE_DIR}/${from}" text)
  write_crlf(${to} "${text}")
endforeach()

execute_process(COMMAND "${MANDOC}" -T ascii "${PAGE}"
  OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "${MANDOC} could not render ${PAGE}: ${status}")
endif()
# mandoc prints bold and underlined letters for a terminal, each struck
# over a letter or an underscore with a backspace; Notepad shows only the
# letters.
string(ASCII 8 backspace)
string(REGEX REPLACE ".${backspace}" "" text "${text}")
write_crlf(MANUAL.txt "${text}")
