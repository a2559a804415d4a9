# Writes a help2man include file with each command's own help, as
# `vellumet-cli COMMAND --help` prints it, so that the man page carries the
# keys, forms and examples of every command.
#   cmake -DPROGRAM=path/to/vellumet-cli -DOUTPUT=file.h2m -P command_help.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
string(REGEX REPLACE ".*\nCommands:\n" "" commands_part "${help}")
string(REGEX REPLACE "\n\n.*" "\n" commands_part "${commands_part}")
# (MATCHALL takes ^ at every place it goes on from, so the rows are found by
# the line break before them.)
string(REGEX MATCHALL "\n  [a-z][^ \n]*" rows "\n${commands_part}")

set(page "[COMMANDS IN DETAIL]\n")
foreach(row ${rows})
    string(STRIP "${row}" command)
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
    endif()
    # roff: a backslash is written \e, and a line may not start with . or '.
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "\n${text}")
    string(SUBSTRING "${text}" 1 -1 text)
    string(APPEND page ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${page}")
