# `cpack -G DEB` in the build folder makes three packages from the install tree, as Debian
# splits a program with a library of its own:
#   dita             the programs, desktop entry, icon, AppStream data, manual pages, help,
#                    defaults, sample, and the skimmer's service with its /etc/default file;
#   libgaugekit1     the shared library, with its shlibs file and the linker-cache trigger;
#   libgaugekit-dev  headers, the .so link and the pkg-config file.
# Dependencies come from dpkg-shlibdeps, so they follow the libraries the programs really link
# (dita's on libgaugekit1 through the shlibs file of the same run).
set(CPACK_PACKAGE_NAME dita)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "DITA maintainers")
set(CPACK_PACKAGE_CONTACT "DITA maintainers <maintainers@users.noreply.c-seed-7c45bef9.example>")
# Each package's first description line is its synopsis (no common summary, which CPack would
# put before every package's own).
set(_dita_summary "Morse code (CW) decoder, keyer and logger for amateur radio")
set(_dita_description
  "DITA listens to a receiver's audio, finds and tracks the CW tone and prints the\n\
decoded text, with the sender's speed, a spectrum or waterfall display and a\n\
timeline of the detector. It sends typed text, macros, a tune carrier and a\n\
beacon on the DTR/RTS lines of a serial port or as a tone on the sound card,\n\
and appends contacts to an ADIF log. The package also holds dita-decode and\n\
dita-send for sound files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL dita libgaugekit1 libgaugekit-dev)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_DITA_PACKAGE_NAME dita)
set(CPACK_DEBIAN_LIBGAUGEKIT1_PACKAGE_NAME libgaugekit1)
set(CPACK_DEBIAN_LIBGAUGEKIT-DEV_PACKAGE_NAME libgaugekit-dev)
set(CPACK_DEBIAN_LIBGAUGEKIT1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBGAUGEKIT-DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DITA_DESCRIPTION "${_dita_summary}\n${_dita_description}")
set(CPACK_COMPONENT_LIBGAUGEKIT1_DESCRIPTION
  "instrument components for Qt programs (shared library)\n\
gaugekit draws meters, bar graphs, lamps, clocks and knobs for Qt 6 widgets\n\
programs. This package holds the shared library that DITA uses.")
set(CPACK_COMPONENT_LIBGAUGEKIT-DEV_DESCRIPTION
  "instrument components for Qt programs (development files)\n\
gaugekit draws meters, bar graphs, lamps, clocks and knobs for Qt 6 widgets\n\
programs. This package holds the headers, the link library and the pkg-config\n\
file for building against it.")
set(CPACK_COMPONENT_LIBGAUGEKIT-DEV_DEPENDS libgaugekit1)
set(CPACK_COMPONENT_DITA_DEPENDS libgaugekit1)
# dpkg-shlibdeps finds libgaugekit in the build tree; the dependency on it is the component's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/gaugekit)

set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file for libgaugekit, and the trigger that refreshes the linker cache when the
# library comes or goes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The trigger is the library package's only maintainer action: DitaPackageScripts.cmake takes
# out the postinst and postrm that CPack writes with ldconfig calls beside it.
set(CPACK_DEBIAN_LIBGAUGEKIT1_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/data/package/triggers")
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DitaPackageScripts.cmake)
# /etc/default/dita-skimmer, the skimmer service's options, is the operator's to edit.
set(CPACK_DEBIAN_DITA_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/data/package/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The help page is opened with the desktop's viewer.
set(CPACK_DEBIAN_DITA_PACKAGE_RECOMMENDS "xdg-utils")
# Debian's file rules that `cmake --install` does not know: compressed manual pages and
# changelog, no private run path (libgaugekit sits in the system's library folder), the
# skimmer's defaults in /etc/default.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DitaPackageFixup.cmake)
include(CPack)

# Every package carries its copyright and changelog.
foreach(_package dita libgaugekit1 libgaugekit-dev)
  install(FILES ${CMAKE_SOURCE_DIR}/data/package/copyright ${CMAKE_SOURCE_DIR}/data/package/changelog
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_package} COMPONENT ${_package})
endforeach()
