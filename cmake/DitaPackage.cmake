# `cpack -G DEB` in the build folder makes dita_<version>_amd64.deb from the install tree:
# the programs, libgaugekit with its headers and pkg-config file, the desktop entry, icon,
# AppStream data, manual pages, help, defaults and sample. Dependencies come from
# dpkg-shlibdeps, so they follow the libraries the programs really link.
set(CPACK_PACKAGE_NAME dita)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "DITA maintainers")
set(CPACK_PACKAGE_CONTACT "DITA maintainers <maintainers@users.noreply.c-seed-7c45bef9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Morse code (CW) decoder, keyer and logger for amateur radio")
set(CPACK_PACKAGE_DESCRIPTION
  "DITA listens to a receiver's audio, finds and tracks the CW tone and prints the\n\
decoded text, with the sender's speed, a spectrum or waterfall display and a\n\
timeline of the detector. It sends typed text, macros, a tune carrier and a\n\
beacon on the DTR/RTS lines of a serial port or as a tone on the sound card,\n\
and appends contacts to an ADIF log. The package also holds dita-decode and\n\
dita-send for sound files, and the gaugekit instrument-component library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file for libgaugekit, and the trigger that refreshes the linker cache when the
# library comes or goes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/data/package/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The help page is opened with the desktop's viewer.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# Debian's file rules that `cmake --install` does not know: compressed manual pages and
# changelog, no private run path (libgaugekit sits in the system's library folder).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DitaPackageFixup.cmake)
include(CPack)

install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright ${CMAKE_SOURCE_DIR}/data/package/changelog
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dita)
