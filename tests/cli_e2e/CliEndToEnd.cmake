# End-to-end checks of the headless program. Inputs: PYROLA (program), FETLIB (simulated
# FET library, may be empty), EMULATOR (wine for the Windows build), WINDOWS_PATHS, WORK.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures 0)

include(${CMAKE_CURRENT_LIST_DIR}/../support/EndToEnd.cmake)

# --- usage -------------------------------------------------------------------------------
# As the program is called here, its example runs as written, the rows aligned.
run(usage 0)
if(WINDOWS_PATHS)
  set(name pyrola-cli)
  set(example "pyrola-cli.exe -pi -raw -c1 +ebpv myfile.txt")
else()
  set(name pyrola)
  set(example "pyrola -pi -raw -c1 +ebpv myfile.txt")
endif()
string(FIND "${OUT}" "Command line usage:\n    ${name} [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}\nExample:\n    ${example}\n" at)
string(FIND "${OUT}" "\n    v        Verify by file {file}\n    r        Read device memory\n" aligned)
if(at EQUAL -1 OR aligned EQUAL -1)
  fail("usage: no usage text as the program is called\n${OUT}")
endif()
foreach(help -h --help -?)
  run(help${help} 0 ${help})
  string(FIND "${OUT}" "Only the specified actions are executed!" at)
  if(at EQUAL -1)
    fail("${help}: no usage text")
  endif()
endforeach()

run(version 0 --version)
if(NOT OUT STREQUAL "PYROLA v1.44\n")
  fail("version: printed '${OUT}'")
endif()
run(version-with-a-job 2 --version -fet +e)
expect_err("--help and --version stand alone")
run(help-with-a-job 2 -fet --help +e)
run(unknown-program-option 2 --frobnicate +e)
expect_err("Unknown option '--frobnicate'")

# --- rejected command lines: status 2 ----------------------------------------------------
run(bad-flow-letter 2 +ex)
expect_log_form()
expect_line("Process command line..")
expect_line("Illegal flow specifier - 'x'")
expect_err("Illegal flow specifier - 'x'")

native_path("${WORK}/missing.txt" MISSING)
run(missing-file 2 +p "${MISSING}")
expect_log_form()
expect_line("Invalid file specifier - '${MISSING}'")
expect_err("Invalid file specifier - '${MISSING}'")
expect_line("Command line rejected: nothing was done")
expect_no_line("Error. Specify filename.")

run(program-without-file 2 +p)
expect_line("Error. Specify filename.")
expect_err("Error. Specify filename.")

file(WRITE "${WORK}/bad.hex" ":10000000FFFF\n")
native_path("${WORK}/bad.hex" BAD)
run(bad-file 2 +p "${BAD}")
expect_line("Loading Intel HEX file \"bad.hex\"..")
string(FIND "${OUT}" "->Load failed. " at)
if(at EQUAL -1)
  fail("bad-file: no load failure line\n${OUT}")
endif()

# A rejected option stops everything: no job on the port an earlier run stored.
file(WRITE "${WORK}/fw.txt" "@F000\n31 40 00 03\nq\n")
native_path("${WORK}/fw.txt" FW)
# The command line's adapter and port hold for one run: options alone are refused unless
# storing them is asked for.
run(options-not-stored 2 -bsl -c3)
expect_err("add --store-settings to keep the adapter and port")
if(EXISTS "${WORK}/settings.ini")
  fail("options-not-stored: the settings were written")
endif()
run(options-only 0 --store-settings -bsl -c3)
expect_setting("Adapter=2")
expect_setting("BSL_PORT=2")
run(rejected-option 2 -fet -cCOM2 +ebpv "${FW}")
expect_line("Illegal options argument - 'cCOM2'")
expect_no_line("Initialize..")
expect_no_line("Loading")
expect_err("Command line rejected: nothing was done")
expect_setting("Adapter=2")
run(rejected-file-token 2 +e "${WORK}/no-such-file.txt")
expect_no_line("Initialize..")

# Every argument is exactly one token: a quote inside one never opens a quoted token.
file(WRITE "${WORK}/evil.txt" "@F000\n31 40\nq\n")
run(quote-in-argument 2 +e "\"evil.txt")
expect_line("Invalid file specifier - '\"evil.txt'")
expect_no_line("Loading")

# A file without its end record may have been cut short: refused before any job.
file(WRITE "${WORK}/cut.hex" ":02F0000031409D\n")
native_path("${WORK}/cut.hex" CUT)
run(file-without-end-record 2 -fet +ebpv "${CUT}")
expect_line("Warning: no end record; the file may be cut short")
expect_err("Error. File without end record refused; it may be cut short.")
expect_no_line("Initialize..")

# A FIFO as the image is refused at once instead of waiting for a writer.
if(NOT WINDOWS_PATHS)
  execute_process(COMMAND mkfifo "${WORK}/image.fifo" RESULT_VARIABLE made)
  if(made EQUAL 0)
    run(fifo-image 2 -fet +v "${WORK}/image.fifo")
    expect_line("Load failed. Not a regular file")
  endif()
endif()

# A file but no action: nothing would be programmed, and a script must hear of it.
run(file-without-action 2 "${FW}")
expect_line("Error. No action given for the file (+e, +b, +p, +v, +r, --serial, --serial-read or --dump): nothing was done")
expect_no_line("Loading")

set(many "")
foreach(i RANGE 1 17)
  list(APPEND many -bsl)
endforeach()
run(too-many-arguments 2 ${many})
expect_err("Too many arguments: at most 16 are read")

# A corrupt settings file reads as defaults (RAW adapter on LPT1) and is replaced on exit.
file(WRITE "${WORK}/settings.ini" "[Pyrola\nAdapter=0\n")
run(raw-no-port 1 --store-settings +e)
expect_log_form()
expect_line("Initialize..")
expect_line("Could not initialize device interface")
string(FIND "${OUT}" "->LPT1: " at)
string(FIND "${OUT}" "no-such-port" named)
if(at EQUAL -1 OR named EQUAL -1)
  fail("raw-no-port: the log does not say which port was tried\n${OUT}")
endif()
expect_err("Init() failed.")
file(READ "${WORK}/settings.ini" saved)
if(NOT saved MATCHES "\\[Pyrola\\]\nBSL_PORT=0\n" OR NOT saved MATCHES "Adapter=1\n")
  fail("corrupt settings were not replaced by a complete file:\n${saved}")
endif()

# --- jobs against the simulated FET library ----------------------------------------------
if(FETLIB)
  file(WRITE "${WORK}/prog.txt" "@1100\n01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10\n@FFFE\n00 11\nq\n")
  native_path("${WORK}/prog.txt" PROG)
  run(program 0 -fet +ebpv "${PROG}")
  expect_log_form()
  expect_line("Loading TI TXT file \"prog.txt\"..")
  expect_line("Erase complete.")
  expect_line("Blank check complete.")
  expect_line("Program complete.")
  expect_line("Verify complete.")
  # The run's adapter was not stored: the stored one is still RAW.
  expect_setting("Adapter=1")
  run(store-fet 0 --store-settings -fet)
  expect_setting("Adapter=0")

  # A path with a blank is one argument, quoted when the arguments are joined.
  file(COPY_FILE "${WORK}/prog.txt" "${WORK}/my prog.txt")
  native_path("${WORK}/my prog.txt" SPACED)
  run(verify-spaced-path 0 +v "${SPACED}")
  expect_line("Loading TI TXT file \"my prog.txt\"..")
  expect_line("Verify complete.")

  file(WRITE "${WORK}/other.txt" "@1100\n01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 11\nq\n")
  native_path("${WORK}/other.txt" OTHER)
  run(verify-fails 1 +v "${OTHER}")
  expect_log_form()
  expect_no_line("Verify complete.")
  expect_err("Verify failed.")
  # Where, what was expected and what was found; the count stays the failure's text.
  expect_line("Verify failed. Found 1 errors")
  expect_line("Mismatch at 0x110F: expected 0x11, found 0x10")

  # An unknown extension: see EverydayEndToEnd.cmake (format by the first bytes).


  # "-pi" keeps the information memory whatever options stand beside it (the usage
  # text's own example).
  file(WRITE "${WORK}/info.txt" "@1000\n11 22 33 44\n@F000\n31 40\nq\n")
  native_path("${WORK}/info.txt" INFO)
  run(program-info 0 -fet +ebpv "${INFO}")
  run(protected-erase 0 -pi -fet -c1 +e)
  file(READ "${WORK}/chip.state" info OFFSET 4096 LIMIT 4 HEX)
  file(READ "${WORK}/chip.state" main OFFSET 61440 LIMIT 2 HEX)
  if(NOT info STREQUAL "11223344" OR NOT main STREQUAL "ffff")
    fail("protected-erase: information memory '${info}', main memory '${main}' after -pi +e")
  endif()

  # An image for a larger part on a 4 KiB part: refused as soon as the chip is known,
  # before anything is erased. The library names the F11x1 line, whose smallest member (the
  # F1101, 1 KiB) is what the run keeps to.
  native_path("${WORK}/small.state" SMALLSTATE)
  set(RUN_ENV "PYROLA_SIM_DEVICE=MSP430F11x1" "PYROLA_SIM_STATE=${SMALLSTATE}")
  run(outside-device 2 -fet +ebpv "${PROG}")
  expect_line("Initialize..")
  expect_line("Device: one of MSP430F1121, F1101, F1111. Info(0x1000-0x10FF), Main:(0xFC00-0xFFFF)")
  expect_err("Error. The image does not fit the MSP430F1101: 16 bytes lie outside its memory, first at 0x1100")
  expect_no_line("Erasing flash memory..")
  set(RUN_ENV "")

  # The failure line on standard error names the reason, not only the step.
  native_path("${WORK}/no-such-library.so" NOLIB)
  set(RUN_ENV "PYROLA_FET_LIBRARY=${NOLIB}")
  run(library-missing 1 -fet +e)
  if(WINDOWS_PATHS)
    expect_err("Init() failed. msp430.dll not found")
  else()
    # Named as it is loaded here, not by the Windows library's name.
    expect_err("Init() failed. ${NOLIB} not found")
  endif()
  set(RUN_ENV "")
else()
  message(STATUS "simulated FET library not built: job checks skipped")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} end-to-end check(s) failed")
endif()
message(STATUS "all end-to-end checks passed")
