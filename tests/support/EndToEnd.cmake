# Shared by the end-to-end scripts that run the real `pyrola` program: paths as the program
# sees them, running it with a private settings file and chip state, and checks of its output.
# Inputs: PYROLA, EMULATOR, WINDOWS_PATHS, WORK, FETLIB (may be empty); the caller sets
# failures to 0 first.

# The program sees Windows paths under Wine.
function(native_path path out)
  if(WINDOWS_PATHS)
    string(REPLACE "/" "\\" path "${path}")
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

native_path("${WORK}/settings.ini" SETTINGS)
native_path("${WORK}/chip.state" SIMSTATE)
# LPT1 is a file that does not exist, so no run ever reaches a real parallel port.
native_path("${WORK}/no-such-port" NOPORT)
set(FETENV "")
if(FETLIB)
  native_path("${FETLIB}" FETPATH)
  set(FETENV "PYROLA_FET_LIBRARY=${FETPATH}")
endif()

# Functions, not macros: arguments holding Windows paths must not be parsed twice.
function(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR n "${failures} + 1")
  set(failures ${n} PARENT_SCOPE)
endfunction()

# run(<name> <expected status> args...): sets OUT, ERR (CR removed) and current.
# RUN_ENV, when set by the caller, adds or overrides environment variables.
function(run name expected)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "PYROLA_SETTINGS=${SETTINGS}" "PYROLA_SIM_STATE=${SIMSTATE}"
            "PYROLA_LPT1=${NOPORT}" ${FETENV} ${RUN_ENV} ${EMULATOR} "${PYROLA}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR TIMEOUT 120)
  string(REPLACE "\r" "" OUT "${OUT}")
  string(REPLACE "\r" "" ERR "${ERR}")
  if(NOT "${status}" STREQUAL "${expected}")
    fail("${name}: exit status ${status}, expected ${expected}\n--- stdout\n${OUT}--- stderr\n${ERR}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
  set(OUT "${OUT}" PARENT_SCOPE)
  set(ERR "${ERR}" PARENT_SCOPE)
  set(current "${name}" PARENT_SCOPE)
endfunction()

function(expect_line text)
  string(FIND "${OUT}" "->${text}\n" at)
  if(at EQUAL -1)
    fail("${current}: no log line '${text}'\n--- stdout\n${OUT}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

function(expect_no_line text)
  string(FIND "${OUT}" "->${text}" at)
  if(NOT at EQUAL -1)
    fail("${current}: unexpected log line '${text}'\n--- stdout\n${OUT}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

function(expect_err text)
  string(FIND "${ERR}" "${text}" at)
  if(at EQUAL -1)
    fail("${current}: standard error lacks '${text}'\n--- stderr\n${ERR}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# Every line on standard output is a log line as the window shows it.
function(expect_log_form)
  string(REGEX REPLACE "\n$" "" body "${OUT}")
  string(REPLACE "\n" ";" lines "${body}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]->")
      fail("${current}: not a log line: '${line}'")
    endif()
  endforeach()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

function(expect_no_err text)
  string(FIND "${ERR}" "${text}" at)
  if(NOT at EQUAL -1)
    fail("${current}: standard error has '${text}'\n--- stderr\n${ERR}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

function(expect_setting text)
  file(READ "${WORK}/settings.ini" saved)
  string(FIND "${saved}" "${text}\n" at)
  if(at EQUAL -1)
    fail("${current}: settings lack '${text}':\n${saved}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

