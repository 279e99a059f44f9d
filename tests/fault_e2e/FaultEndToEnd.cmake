# A hardware fault raised inside the FET library's entry points: the program logs it, ends
# the list like a failure, closes the adapter where that is safe, saves the settings and
# exits with status 1. Inputs: PYROLA, FAULTYLIB, EMULATOR, WINDOWS_PATHS, WORK.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures 0)
set(FETLIB "${FAULTYLIB}")
include(${CMAKE_CURRENT_LIST_DIR}/../support/EndToEnd.cmake)

file(WRITE "${WORK}/fw.txt" "@F000\n31 40 00 03\n@FFFE\n00 F0\nq\n")
native_path("${WORK}/fw.txt" FW)

# fault(<name> <fault list> <entry point> args...): one faulting run, then the settings check.
function(fault name faults entry)
  file(REMOVE "${WORK}/settings.ini")
  set(RUN_ENV "PYROLA_TEST_FAULT=${faults}")
  run(${name} 1 --store-settings ${ARGN})
  expect_log_form()
  expect_line("Unhandled exception detected!")
  expect_line("${FAULT_KIND} inside ${entry} of the FET library ${FETPATH}")
  expect_err("Unhandled exception detected!")
  # Exit ran: the settings (with the adapter the command line chose) were saved.
  expect_setting("Adapter=0")
  set(failures ${failures} PARENT_SCOPE)
  set(OUT "${OUT}" PARENT_SCOPE)
  set(current "${current}" PARENT_SCOPE)
endfunction()

set(FAULT_KIND "access fault")
fault(access-in-erase "Erase:access" MSP430_Erase -fet +ebpv "${FW}")
expect_line("Erasing flash memory..")
expect_no_line("Blank check complete.")
expect_no_line("Programming the device memory..")

# The last step of the list faults: nothing is left over, the run still does not pass.
set(FAULT_KIND "arithmetic fault")
fault(arithmetic-in-memory "Memory:arithmetic" MSP430_Memory -fet +p "${FW}")
expect_no_line("Program complete.")

set(FAULT_KIND "bus error")
fault(bus-in-identify "Identify:bus" MSP430_Identify -fet +e)
expect_no_line("Erasing flash memory..")

# Only the closing reset faults: every step passed, but the target was not released, so
# the run does not pass either.
set(FAULT_KIND "access fault")
fault(access-in-closing-reset "Reset:access" MSP430_Reset -fet +e)
expect_line("Erase complete.")

# The library faults with a lock of the C library taken, so the program cannot even log
# the fault: it still ends, on its own, with status 1 and a line on standard error.
set(RUN_ENV "PYROLA_TEST_FAULT=Erase:stuck")
run(stuck-after-fault 1 -fet +e)
expect_err("pyrola: the program did not end after a fault inside the adapter; giving up")

# A healthy run through the same library still passes: the guard changes nothing else.
set(RUN_ENV "")
run(no-fault 0 -fet +ebpv "${FW}")
expect_line("Verify complete.")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} fault check(s) failed")
endif()
message(STATUS "all fault checks passed")
