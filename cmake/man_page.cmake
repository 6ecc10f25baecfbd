# Writes the framedec(1) manual page from the tool's own help texts: `framedec --help` gives the
# description, the command list and the exit status, and `framedec COMMAND --help` each command's
# section, so the page says exactly what the built tool says and cannot drift from it.
# cmake -DTOOL=<framedec> -DVERSION=<x.y.z> -DOUTPUT=<framedec.1> [-DGZIP=<gzip>] -P man_page.cmake
# With GZIP, OUTPUT.gz is written too (gzip -9n: no name or time stamp, as Debian's packages want).

function(help_of variable)
  execute_process(COMMAND "${TOOL}" ${ARGN} --help RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} --help failed (${result}): ${error}")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

# Text as roff shows it literally: backslashes escaped, hyphens as the minus sign that options are
# typed with, and lines that would start a request protected.
function(roff_text variable text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

help_of(overview)
# "commands:" then one "  NAME  summary" line per command, up to the blank line.
if(NOT overview MATCHES "\ncommands:\n(([ ]+[a-z]+ +[^\n]+\n)+)\n(.*)$")
  message(FATAL_ERROR "no command list in the output of ${TOOL} --help:\n${overview}")
endif()
string(STRIP "${CMAKE_MATCH_1}" command_lines)
string(STRIP "${CMAKE_MATCH_3}" after_commands)
string(REGEX MATCH "\n\n([^\n]+)\n\ncommands:" description "${overview}")
string(STRIP "${CMAKE_MATCH_1}" description)
string(REGEX REPLACE "^exit status: *" "" exit_status "${after_commands}")

set(page ".TH FRAMEDEC 1 \"\" \"framedec ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nframedec \\- decode the camera's compressed greyscale frames\n")
string(APPEND page ".SH SYNOPSIS\n.B framedec\n.I COMMAND\n.RI [ ARGUMENTS ]\n.br\n.B framedec\n.I COMMAND\n.B \\-\\-help\n")
string(APPEND page ".br\n.B framedec\n.RB [ \\-\\-help | \\-\\-version ]\n")
roff_text(description "${description}")
string(APPEND page ".SH DESCRIPTION\n${description}\nEach command's section below is its own help text.\n")
string(APPEND page ".SH COMMANDS\n")
# One line at a time: a summary may hold a semicolon, which a CMake list would split at.
set(rest "${command_lines}\n")
while(rest MATCHES "^ *([a-z]+) +([^\n]*)\n(.*)$")
  set(command "${CMAKE_MATCH_1}")
  set(summary "${CMAKE_MATCH_2}")
  set(rest "${CMAKE_MATCH_3}")
  roff_text(summary "${summary}")
  help_of(help ${command})
  string(STRIP "${help}" help)
  # "(default: the processor count, 2 here)": the build machine's count says nothing to a reader.
  string(REGEX REPLACE ", [0-9]+ here\\)" ")" help "${help}")
  roff_text(help "${help}")
  string(APPEND page ".SS ${command}\n${summary}.\n.PP\n.nf\n${help}\n.fi\n")
endwhile()
roff_text(exit_status "${exit_status}")
string(APPEND page ".SH \"EXIT STATUS\"\n${exit_status}.\n")
string(APPEND page ".SH \"SEE ALSO\"\nThe library's C header,\n.IR framedec.h .\n")

file(WRITE "${OUTPUT}" "${page}")
if(GZIP)
  execute_process(COMMAND "${GZIP}" -9n -c "${OUTPUT}" OUTPUT_FILE "${OUTPUT}.gz" COMMAND_ERROR_IS_FATAL ANY)
endif()
