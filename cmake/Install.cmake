# What `cmake --install` puts where, and the packages CPack makes from it:
#   Linux: bin/pyrola, share/man/man1/pyrola.1.gz, share/doc/pyrola/ (README.md, copyright,
#   changelog.gz); a Debian package.
#   Windows: pyrola.exe (the window), pyrola-cli.exe and README.md in one folder; a zip.
# The simulated chip (its FET library, port library and loader server) only with
# -DPYROLA_INSTALL_SIM=ON, and then in a folder of its own that no library search reaches,
# so that an installed simulated library is never taken for the real one.
include(GNUInstallDirs)
option(PYROLA_INSTALL_SIM "Install the simulated chip's programs and libraries too" OFF)

if(WIN32)
  set(_bin .)
  set(_doc .)
  set(_sim sim)
else()
  set(_bin ${CMAKE_INSTALL_BINDIR})
  set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/pyrola)
  set(_sim ${CMAKE_INSTALL_LIBDIR}/pyrola/sim)
  # Compressed as Debian's policy asks (gzip -9n: no name or time in it, the same bytes
  # every build); man reads it as it is.
  find_program(PYROLA_GZIP gzip REQUIRED)
  function(pyrola_gzipped source output target)
    add_custom_command(OUTPUT ${output}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
      COMMAND ${PYROLA_GZIP} -9nf ${output}
      DEPENDS ${source} VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output}.gz)
  endfunction()
  pyrola_gzipped(${CMAKE_SOURCE_DIR}/docs/pyrola.1 ${CMAKE_BINARY_DIR}/packaging/pyrola.1 pyrola_manpage)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/pyrola.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The package's copyright statement and changelog, where Debian tools look for them.
  install(FILES ${CMAKE_SOURCE_DIR}/docs/copyright DESTINATION ${_doc})
  pyrola_gzipped(${CMAKE_SOURCE_DIR}/docs/changelog ${CMAKE_BINARY_DIR}/packaging/changelog pyrola_changelog)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${_doc})
  # Built with the program, so that installing after building only it (the demo) finds them.
  add_dependencies(pyrola pyrola_manpage pyrola_changelog)
endif()
install(TARGETS pyrola RUNTIME DESTINATION ${_bin})
if(TARGET pyrola_gui)
  install(TARGETS pyrola_gui RUNTIME DESTINATION ${_bin})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${_doc})

if(PYROLA_INSTALL_SIM)
  foreach(_target msp430sim pyrola-simport pyrola-bsl-sim)
    if(TARGET ${_target})
      install(TARGETS ${_target} RUNTIME DESTINATION ${_sim} LIBRARY DESTINATION ${_sim})
    endif()
  endforeach()
  # The version-3 simulated FET library has the same file name: a folder of its own.
  if(TARGET msp430sim3)
    install(TARGETS msp430sim3 RUNTIME DESTINATION ${_sim}/v3 LIBRARY DESTINATION ${_sim}/v3)
  endif()
endif()

set(CPACK_PACKAGE_NAME pyrola)
set(CPACK_PACKAGE_VENDOR "Qorvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flash programmer for TI MSP430 F1xx/F4xx microcontrollers")
set(CPACK_PACKAGE_CONTACT "Pyrola developers <pyrola@qorvane.example>")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME pyrola-${PROJECT_VERSION}-windows)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # Debian 12 (bookworm): its C and C++ runtime libraries.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
  # The package's longer description below the summary line (lintian asks for one).
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Loads a firmware image (TI TXT, Intel HEX, binary, ELF, S-record) and erases,
blank-checks, programs, verifies and reads back the flash of an MSP430 chip
through the vendor's FET library, JTAG on a parallel port or the chip's
bootstrap loader on a serial port. It writes per-unit serial numbers and
programs many boards at once.")
endif()
include(CPack)
