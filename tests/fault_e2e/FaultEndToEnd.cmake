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

# fault(<name> <fault list> <note> args...): one faulting run, then the settings check.
function(fault name spec note)
  file(REMOVE "${WORK}/settings.ini")
  set(RUN_ENV "PYROLA_TEST_FAULT=${spec}")
  run(${name} 1 ${ARGN})
  expect_log_form()
  expect_line("Unhandled exception detected!")
  expect_line("${note}")
  expect_err("Unhandled exception detected!")
  # Exit ran: the settings (with the adapter the command line chose) were saved.
  expect_setting("Adapter=0")
  set(failures ${failures} PARENT_SCOPE)
  set(OUT "${OUT}" PARENT_SCOPE)
  set(current "${current}" PARENT_SCOPE)
endfunction()

fault(access-in-erase "Erase:access" "access fault inside the FET adapter's Erase" -fet +ebpv "${FW}")
expect_line("Erasing flash memory..")
expect_no_line("Blank check complete.")
expect_no_line("Programming the device memory..")

# The last step of the list faults: nothing is left over, the run still does not pass.
fault(arithmetic-in-memory "Memory:arithmetic" "arithmetic fault inside the FET adapter's WriteMemory"
      -fet +p "${FW}")
expect_no_line("Program complete.")

fault(bus-in-identify "Identify:bus" "bus error inside the FET adapter's Open" -fet +e)
expect_no_line("Erasing flash memory..")

# The closing reset faults as well: only noted, the program still ends in order.
fault(access-in-erase-and-close "Erase:access,Reset:access" "access fault inside the FET adapter's Close"
      -fet +e)

# A healthy run through the same library still passes: the guard changes nothing else.
set(RUN_ENV "")
run(no-fault 0 -fet +ebpv "${FW}")
expect_line("Verify complete.")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} fault check(s) failed")
endif()
message(STATUS "all fault checks passed")
