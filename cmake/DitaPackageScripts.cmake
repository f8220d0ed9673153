# Runs inside cpack after the packages are made (CPACK_PACKAGE_FILES lists them).
# CPack gives a package with a shared library in /usr/lib a postinst and a postrm that call
# ldconfig, and a package can only be without them by bringing scripts of its own, which would
# do nothing. libgaugekit1 refreshes the linker cache through its trigger alone, so its package
# is built once more without those two scripts.
find_program(_dpkg_deb dpkg-deb REQUIRED)
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(_name "${_deb}" NAME)
  if(NOT _name MATCHES "^libgaugekit1_")
    continue()
  endif()
  set(_tree "${_deb}.tree")
  file(REMOVE_RECURSE "${_tree}")
  execute_process(COMMAND ${_dpkg_deb} --raw-extract "${_deb}" "${_tree}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "package scripts: dpkg-deb --raw-extract ${_deb} failed")
  endif()
  if(NOT EXISTS "${_tree}/DEBIAN/triggers")
    message(FATAL_ERROR "package scripts: ${_name} has no triggers file")
  endif()
  file(REMOVE "${_tree}/DEBIAN/postinst" "${_tree}/DEBIAN/postrm")
  execute_process(COMMAND ${_dpkg_deb} --root-owner-group --build "${_tree}" "${_deb}"
                  OUTPUT_QUIET RESULT_VARIABLE _rc)
  file(REMOVE_RECURSE "${_tree}")
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "package scripts: dpkg-deb --build ${_deb} failed")
  endif()
endforeach()
