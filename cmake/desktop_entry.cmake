# The desktop entry (resources/linux/quillmere.desktop.in) for a program installed at a given
# path. Included by the build, which writes the entry at configure time; also run as a script,
#   cmake -DPROGRAM=/opt/q/bin/quillmere -DENTRY=out.desktop -P cmake/desktop_entry.cmake
# which the tests use to try awkward install prefixes.

set(QUILLMERE_DESKTOP_ENTRY_TEMPLATE
    ${CMAKE_CURRENT_LIST_DIR}/../resources/linux/quillmere.desktop.in)

# A value of type string: a backslash and the control characters are written as escapes.
function(quillmere_desktop_string text out_var)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Writes ENTRY for the program at PROGRAM. Exec holds the path as one argument in double quotes,
# in which ", `, $ and \ take a backslash and % is doubled (it would start a field code); the
# result is then a string value, so each backslash is doubled once more. TryExec is a plain
# string value.
function(quillmere_desktop_entry program entry)
  set(quoted "${program}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "$" "\\$" quoted "${quoted}")
  string(REPLACE "%" "%%" quoted "${quoted}")
  quillmere_desktop_string("\"${quoted}\"" QUILLMERE_EXEC)
  quillmere_desktop_string("${program}" QUILLMERE_TRY_EXEC)
  configure_file("${QUILLMERE_DESKTOP_ENTRY_TEMPLATE}" "${entry}" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED PROGRAM OR NOT DEFINED ENTRY)
    message(FATAL_ERROR "usage: cmake -DPROGRAM=PATH -DENTRY=FILE -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  quillmere_desktop_entry("${PROGRAM}" "${ENTRY}")
endif()
