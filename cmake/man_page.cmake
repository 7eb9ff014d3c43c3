# Writes the man page verrin(1) with help2man from `verrin --help`, adding a
# COMMANDS section made of every command's own --help text.
# Variables: VERRIN (the program), HELP2MAN, OUT (the page), WORK (a folder).
execute_process(COMMAND "${VERRIN}" --help OUTPUT_VARIABLE main_help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "verrin --help failed")
endif()
string(REGEX MATCHALL "\n  [a-z-]+ " command_lines "${main_help}")
set(include_text "[COMMANDS]\n")
foreach(line ${command_lines})
  string(STRIP "${line}" command)
  execute_process(COMMAND "${VERRIN}" ${command} --help OUTPUT_VARIABLE usage)
  # The help names the resource directory of the program that printed it (here
  # the build tree's); the page states the rule instead, for the set whose
  # directory the help names (the last part of its path).
  set(set_name default)
  if(usage MATCHES "\nWithout --res, the resources are read from\n  [^\n]*/([^/\n]+)\n")
    set(set_name "${CMAKE_MATCH_1}")
  endif()
  string(REGEX REPLACE "\nWithout --res, the resources are read from\n.*$"
         "\nWithout --res, the resources are read from share/verrin/${set_name} beside\nthe installed program or library. --res also takes the name of a bundled\nset: default (newswire) or web (posts and news of today).\n"
         usage "${usage}")
  # roff: a leading dot or quote would be a request, a backslash an escape.
  string(REPLACE "\\" "\\e" usage "${usage}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" usage "${usage}")
  string(APPEND include_text ".SS ${command}\n.nf\n${usage}.fi\n")
endforeach()
string(APPEND include_text "[SEE ALSO]\nThe README of the source distribution describes the file formats.\n")
file(WRITE "${WORK}/verrin.h2m" "${include_text}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1
          "--name=find person, location and organization names in Chinese text"
          "--include=${WORK}/verrin.h2m" "--output=${OUT}" "${VERRIN}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
