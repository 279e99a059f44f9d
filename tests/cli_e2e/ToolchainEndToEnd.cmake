# Files real toolchains write, programmed into the simulated chip and compared with the
# toolchain's own image of them. clang and ld.lld make two MSP430 executables at test
# time (sources and linker scripts in toolchain/): one with RAM data, whose ELF and program
# headers lld puts in a segment at 0x0000, and one whose headers land at 0x1000 with its
# sections merged into one segment across gaps. llvm-objcopy writes their binary images
# (starting at their lowest address) and Intel HEX; srec_cat fills the HEX's holes with
# erased bytes, which is what the chip must hold after the ELF. Then Pyrola's own read-back
# saved as .bin, overlapping HEX records and a one-byte image.
# Inputs as CliEndToEnd.cmake, and CLANG, LLD, OBJCOPY, SRECCAT, SOURCES.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures 0)

include(${CMAKE_CURRENT_LIST_DIR}/../support/EndToEnd.cmake)

function(tool name)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: ${ARGN} failed (${status}): ${err}")
  endif()
endfunction()

# The chip's bytes first .. first+count-1 as lower-case hex.
function(chip_hex first count out)
  file(READ "${WORK}/chip.state" hex OFFSET ${first} LIMIT ${count} HEX)
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Information and main memory (0x1000-0xFFFF) must hold the file: erased information
# memory, then the binary image `bin` that starts at 0x1100 and is padded with erased bytes.
function(expect_chip what bin)
  file(READ "${bin}" image HEX)
  string(LENGTH "${image}" length)
  math(EXPR pad "(0x10000 - 0x1100) * 2 - ${length}")
  string(REPEAT "f" ${pad} tail)
  string(REPEAT "f" 512 info)
  chip_hex(4096 61440 chip)
  if(NOT chip STREQUAL "${info}${image}${tail}")
    string(SUBSTRING "${chip}" 0 600 head)
    fail("${what}: the chip does not hold the toolchain's image; chip from 0x1000:\n${head}...")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

set(CFLAGS --target=msp430 -Os -ffreestanding -c)
foreach(program blink noram)
  tool(clang ${CLANG} ${CFLAGS} "${SOURCES}/${program}.c" -o ${program}.o)
endforeach()
tool(ld.lld ${LLD} -T "${SOURCES}/f149.ld" blink.o -o blink.elf -e main)
tool(ld.lld ${LLD} -T "${SOURCES}/merged.ld" noram.o -o merged.elf -e main)

foreach(elf blink merged)
  tool(objcopy ${OBJCOPY} -O binary ${elf}.elf ${elf}.bin)
  tool(objcopy ${OBJCOPY} -O ihex ${elf}.elf ${elf}.hex)
  # The sections alone, holes erased: what the chip holds after programming the ELF.
  tool(srec_cat ${SRECCAT} ${elf}.hex -intel -fill 0xFF 0x1100 0x10000 -offset -0x1100 -o ${elf}-erased.bin -binary)
  native_path("${WORK}/${elf}.elf" ELF)
  native_path("${WORK}/${elf}.bin" BIN)

  run(${elf}-elf 0 -fet +ebpv "${ELF}")
  expect_line("Verify complete.")
  expect_no_line("Warning")
  expect_chip(${elf}.elf "${WORK}/${elf}-erased.bin")

  # objcopy's binary starts at the lowest section: --base puts it there, gaps and all.
  run(${elf}-bin-base 0 -fet +ebpv --base 0x1100 "${BIN}")
  expect_line("Verify complete.")
  expect_chip(${elf}.bin "${WORK}/${elf}.bin")
endforeach()
expect_line("Load 61184 bytes at 0x1100-0xFFFF")

# The data's initial value is programmed at its load address in flash, after .rodata.
native_path("${WORK}/blink.elf" ELF)
run(blink-log 0 -fet +ebpv "${ELF}")
string(REGEX MATCH "->Took 4 ELF sections, [0-9]+ bytes: \\.text 0x1100-0x[0-9A-F]+, \\.rodata [^\n]*, \\.data 0x[0-9A-F]+-0x[0-9A-F]+ \\(runs at 0x0200\\), \\.vectors 0xFFFE-0xFFFF\n" took "${OUT}")
if(NOT took)
  fail("blink-log: no line saying which sections were taken\n${OUT}")
endif()

# Code linked into RAM cannot be programmed: the refusal names its section.
tool(ld.lld ${LLD} -T "${SOURCES}/ramcode.ld" noram.o -o ramcode.elf -e main)
native_path("${WORK}/ramcode.elf" RAMCODE)
run(section-outside 2 -fet +ebpv "${RAMCODE}")
expect_err("lie outside its memory, first at 0x200 in section .text (Info 0x1000-0x10FF")
expect_no_line("Erase")

# A base is for raw bytes: an executable carries its own addresses.
run(base-on-elf 2 -fet +ebpv --base 0x1100 "${ELF}")
expect_err("Error. --base is for a binary file (.bin, .tsk, .dat or --format bin): nothing was done")

# Pyrola's own read-back saved as binary (from 0) reprograms byte-exact: the erased bytes
# below the flash are no data.
native_path("${WORK}/own.bin" OWN)
run(read-and-save 0 -fet +r --save "${OWN}")
chip_hex(4096 61440 before)
run(own-bin 0 -fet +ebpv "${OWN}")
expect_line("Verify complete.")
# The program's window still starts at the device's memory (said as before), but no byte
# is counted as left out.
string(FIND "${OUT}" "image bytes outside the device memory" leftOut)
if(NOT leftOut EQUAL -1)
  fail("own-bin: erased bytes below the flash were counted as left out\n${OUT}")
endif()
chip_hex(4096 61440 after)
if(NOT before STREQUAL after)
  fail("own-bin: the chip differs from what was read and saved")
endif()
# A byte below the flash that is not erased is data the chip cannot hold: refused before
# anything is erased.
tool(srec_cat ${SRECCAT} own.bin -binary -exclude 0x0200 0x0201 -generate 0x0200 0x0201 -constant 0x00 -o ram.bin -binary)
native_path("${WORK}/ram.bin" RAM)
run(ram-byte-refused 2 -fet +ebpv "${RAM}")
expect_err("Error. The image does not fit the MSP430F149: 1 bytes lie outside its memory, first at 0x200")
expect_no_line("Erase")

# Overlapping records (a loader and an application concatenated): warned of, the later
# value kept; refused with --strict-image.
file(WRITE "${WORK}/both.hex" ":04F000003140000398\n:02F002001122D9\n:02FFFE0000F011\n:00000001FF\n")
native_path("${WORK}/both.hex" BOTH)
run(overlap-warned 0 -fet +ebpv "${BOTH}")
expect_line("Warning: 2 bytes given twice, first at 0xF002 (0x00, then 0x11: the later value kept)")
chip_hex(61440 4 overlapped)
if(NOT overlapped STREQUAL "31401122")
  fail("overlap-warned: 0xF000 holds ${overlapped}, not the later values")
endif()
run(overlap-refused 2 -fet +ebpv --strict-image "${BOTH}")
expect_err("Error. File that gives an address twice refused (first at 0xF002).")
expect_no_line("Erase")

# A one-byte patch loads and programs.
file(WRITE "${WORK}/patch.hex" ":01F0000055BA\n:00000001FF\n")
native_path("${WORK}/patch.hex" PATCH)
run(one-byte 0 -fet +epv "${PATCH}")
expect_line("Load 1 bytes at 0xF000-0xF000")
chip_hex(61440 2 patched)
if(NOT patched STREQUAL "55ff")
  fail("one-byte: 0xF000 holds ${patched}")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) failed")
endif()
