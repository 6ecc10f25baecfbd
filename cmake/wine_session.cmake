# Starts or stops the Wine session that a cross build's tests run in (CTest fixture "wine").
# Arguments: ACTION (start or stop), WINE, WINESERVER, PREFIX (the build tree's own Wine prefix).
#   start: creates the prefix if needed, keeps one wine server running for the whole test run (each
#          program then starts in well under a second instead of seconds), and clears Wine's
#          crash debugger, so that a crashing program (a death test) just ends instead of waiting
#          in the debugger;
#   stop:  ends that server.
set(ENV{WINEPREFIX} "${PREFIX}")
set(ENV{WINEDEBUG} -all)

# Output goes to a log file: the wine server and the services that wineboot starts stay in the
# background, and a pipe that they inherit would never close.
set(log "${PREFIX}/session.log")
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_FILE "${log}.out" ERROR_FILE "${log}.err")
  file(READ "${log}.out" out)
  file(READ "${log}.err" err)
  file(APPEND "${log}" "${ARGN}\n${out}${err}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${out}\n${err}")
  endif()
endfunction()

if(ACTION STREQUAL "start")
  file(MAKE_DIRECTORY "${PREFIX}")
  # A server left over from an interrupted run would refuse a new one.
  execute_process(COMMAND "${WINESERVER}" -k OUTPUT_QUIET ERROR_QUIET)
  run("${WINESERVER}" -p)
  run("${WINE}" wineboot --init)
  set(debugger "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug")
  # Deleting a value that is already gone fails; only the outcome matters.
  execute_process(COMMAND "${WINE}" reg delete "${debugger}" /v Debugger /f
                  OUTPUT_FILE "${log}.out" ERROR_FILE "${log}.err")
  execute_process(COMMAND "${WINE}" reg query "${debugger}" /v Debugger RESULT_VARIABLE still
                  OUTPUT_FILE "${log}.out" ERROR_FILE "${log}.err")
  if(still EQUAL 0)
    message(FATAL_ERROR "Wine's crash debugger is still set in ${PREFIX}")
  endif()
  message(STATUS "wine session in ${PREFIX}: started")
elseif(ACTION STREQUAL "stop")
  run("${WINESERVER}" -k)
  message(STATUS "wine session in ${PREFIX}: stopped")
else()
  message(FATAL_ERROR "ACTION must be start or stop")
endif()
