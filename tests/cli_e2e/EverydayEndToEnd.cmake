# End-to-end checks of the headless program's everyday options: option values that look
# like tokens, the image format by the first bytes, --device, --quiet, --verbose, the
# timing line, --list-ports and the help text. Inputs as CliEndToEnd.cmake.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures 0)

include(${CMAKE_CURRENT_LIST_DIR}/../support/EndToEnd.cmake)

file(WRITE "${WORK}/fw.txt" "@F000\n31 40 00 03\n@FFFE\n00 F0\nq\n")
native_path("${WORK}/fw.txt" FW)

# --- an option's value that looks like a token is refused: nothing is done ---------------
run(options-only 0 -bsl -c3)
run(value-looks-like-a-token 2 --log -fet +v "${FW}")
expect_err("Option '--log' needs a file name, not '-fet' (write --log=-fet if that is meant)")
if(NOT OUT STREQUAL "")
  fail("value-looks-like-a-token: something was done\n${OUT}")
endif()
expect_setting("Adapter=2")
run(flow-as-a-value 2 -fet --save +r)
expect_err("Option '--save' needs a file name, not '+r'")
expect_setting("Adapter=2")
# Written with "=", such a value is taken as it stands.
native_path("${WORK}/-odd.csv" ODDLOG)
run(value-with-equals 0 -bsl "--log=${ODDLOG}")
if(NOT EXISTS "${WORK}/-odd.csv")
  fail("value-with-equals: no log file '-odd.csv'")
endif()

# --- the image format by the first bytes when the extension does not tell ----------------
# Random-looking bytes with an unknown extension are refused: never programmed as binary.
file(WRITE "${WORK}/image.xyz" "0123456789abcdef")
native_path("${WORK}/image.xyz" XYZ)
run(unknown-format 2 -fet +ebpv "${XYZ}")
expect_err("Error. \"image.xyz\" is not ELF, TI TXT, Intel HEX or S-record; name its format with --format (txt, hex, bin, elf, srec): nothing was done")
expect_no_line("Loading")
expect_no_line("Initialize..")
run(unknown-format-name 2 -fet +v --format nope "${FW}")
expect_err("Error. Unknown format 'nope' (use txt, hex, bin, elf, srec)")
run(format-without-file 2 -fet +e --format hex)
expect_err("Error. --format needs an image file")

# ELF is known by its magic whatever the name (and read as ELF even when named .bin).
file(WRITE "${WORK}/fw.ihex" ":04F000003140000398\n:02FFFE0000F011\n:00000001FF\n")
native_path("${WORK}/fw.ihex" IHEX)
file(WRITE "${WORK}/fw.srecord" "S0030000FC\nS107F0003140000394\nS105FFFE00F00D\nS9030000FC\n")
native_path("${WORK}/fw.srecord" SREC)
file(WRITE "${WORK}/fw.ti" "\n@F000\n31 40 00 03\n@FFFE\n00 F0\nq\n")
native_path("${WORK}/fw.ti" TITXT)
if(FETLIB)
  run(intel-hex-by-content 0 -fet +ebpv "${IHEX}")
  expect_line("Loading Intel HEX file \"fw.ihex\"..")
  expect_line("Verify complete.")
  run(srecord-by-content 0 -fet +v "${SREC}")
  expect_line("Loading Motorola S-record file \"fw.srecord\"..")
  expect_line("Verify complete.")
  run(ti-txt-by-content 0 -fet +v "${TITXT}")
  expect_line("Loading TI TXT file \"fw.ti\"..")
  expect_line("Verify complete.")
  # The refused file erased nothing: the chip still holds the image.
  run(refused-file-erased-nothing 2 -fet +ebpv "${XYZ}")
  run(chip-kept 0 -fet +v "${FW}")
  expect_line("Verify complete.")
  # --format names any readable format, whatever the extension says.
  file(COPY_FILE "${WORK}/fw.ihex" "${WORK}/fw-hex.txt")
  native_path("${WORK}/fw-hex.txt" HEXTXT)
  run(format-by-name 0 -fet +v --format=hex "${HEXTXT}")
  expect_line("Loading Intel HEX file \"fw-hex.txt\"..")
  expect_line("Verify complete.")
  run(binary-by-name 1 -fet +v --format bin "${XYZ}")
  expect_line("Loading Binary file \"image.xyz\"..")
  expect_line("Load 16 bytes")
endif()

#@MORE@

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} end-to-end check(s) failed")
endif()
message(STATUS "all everyday end-to-end checks passed")
