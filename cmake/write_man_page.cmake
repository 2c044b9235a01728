# Writes the compressed manual page OUTPUT of the program PROGRAM (called NAME)
# with help2man. help2man reads the program's --help and, for a program with
# commands, each command's --help after it (commands of commands too), each
# command under its own heading in a COMMANDS section; the hand-written sections
# come from the include file INCLUDE. VERSION is shown in the page's footer.
# Run with cmake -P; also needs HELP2MAN, GZIP and WORK_DIR (scratch folder).
foreach(variable PROGRAM NAME VERSION INCLUDE HELP2MAN GZIP WORK_DIR OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "write_man_page.cmake: ${variable} not set")
  endif()
endforeach()

# Help texts are handled as CMake strings: their semicolons would split lists and
# their square brackets would keep a list from splitting; marks stand for them.
string(ASCII 29 open_mark)
string(ASCII 30 close_mark)
string(ASCII 31 semicolon_mark)

# The help text of PROGRAM followed by the command words in ARGN.
function(help_text out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help
    OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${NAME} ${ARGN} --help failed (${result}): ${error}")
  endif()
  # The usage line names the program by the path it was started with.
  string(REPLACE "${PROGRAM}" "${NAME}" text "${text}")
  string(REPLACE ";" "${semicolon_mark}" text "${text}")
  string(REPLACE "[" "${open_mark}" text "${text}")
  string(REPLACE "]" "${close_mark}" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The commands a help text lists under "Subcommands:".
function(commands_of text out)
  set(names "")
  if(text MATCHES "\nSubcommands:\n(( [^\n]*\n?)*)")
    string(REGEX MATCHALL "(^|\n)  [A-Za-z0-9][^ \n]*" lines "${CMAKE_MATCH_1}")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      list(APPEND names "${line}")
    endforeach()
  endif()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# A command's help as a block of the COMMANDS section: its usage as the heading,
# its description, its options; the help option, the headings inside and the
# list of its own commands (each has a block of its own) are left out.
function(command_block text out)
  set(usage "")
  set(description "")
  set(body "")
  set(in_command_list FALSE)
  string(REGEX MATCHALL "[^\n]*\n|[^\n]+$" lines "${text}")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "\n$" "" line "${line}")
    if(line MATCHES "^Usage: (.*)$")
      set(usage "${CMAKE_MATCH_1}")
    elseif(usage STREQUAL "")
      string(APPEND description "${line}")
    elseif(line MATCHES "^Subcommands:")
      set(in_command_list TRUE)
    elseif(in_command_list AND line MATCHES "^ ")
      # a command of this command: it has its own block
    elseif(line MATCHES "^(Options|Positionals):$" OR line MATCHES "^ +-h,--help ")
      set(in_command_list FALSE)
    else()
      set(in_command_list FALSE)
      string(APPEND body "${line}\n")
    endif()
  endforeach()
  set(block "${usage}:\n")
  if(NOT description STREQUAL "")
    string(APPEND block "  ${description}\n")
  else()
    string(APPEND block "  \n")
  endif()
  string(APPEND block "\n${body}\n")
  set(${out} "${block}" PARENT_SCOPE)
endfunction()

# The blocks of the commands listed in TEXT, below the command words in ARGN.
function(command_blocks text out)
  set(blocks "")
  commands_of("${text}" names)
  foreach(name IN LISTS names)
    help_text(sub_text ${ARGN} ${name})
    command_block("${sub_text}" block)
    command_blocks("${sub_text}" sub_blocks ${ARGN} ${name})
    string(APPEND blocks "${block}${sub_blocks}")
  endforeach()
  set(${out} "${blocks}" PARENT_SCOPE)
endfunction()

help_text(text)
command_blocks("${text}" blocks)
if(NOT blocks STREQUAL "")
  string(APPEND text "\n*Commands*\n\n${blocks}")
endif()
string(REPLACE "${semicolon_mark}" ";" text "${text}")
string(REPLACE "${open_mark}" "[" text "${text}")
string(REPLACE "${close_mark}" "]" text "${text}")

# help2man runs a program: one named like the real one that prints the text.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/help.txt "${text}")
file(WRITE ${WORK_DIR}/${NAME} "#!/bin/sh\nexec cat '${WORK_DIR}/help.txt'\n")
file(CHMOD ${WORK_DIR}/${NAME} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
    ${HELP2MAN} --no-info --section=1 --version-string=${VERSION} --include=${INCLUDE}
    --output=${WORK_DIR}/${NAME}.1 ${WORK_DIR}/${NAME}
  RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man for ${NAME} failed: ${error}")
endif()
execute_process(COMMAND ${GZIP} -9 -n -c ${WORK_DIR}/${NAME}.1
  OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "gzip of ${NAME}.1 failed")
endif()
