# Runs inside cpack on the staged install tree before the package is made.
# CPACK_TEMPORARY_INSTALL_DIRECTORY is the staging root; the files lie under usr/.
set(_root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
# With one package per component the staging root holds one folder per component.
file(GLOB _component_roots LIST_DIRECTORIES true "${_root}/*/usr")
if(_component_roots)
  foreach(_c IN LISTS _component_roots)
    get_filename_component(_c "${_c}" DIRECTORY)
    list(APPEND _roots "${_c}")
  endforeach()
else()
  set(_roots "${_root}")
endif()
if(NOT IS_DIRECTORY "${_root}/usr" AND NOT _component_roots)
  message(FATAL_ERROR "package fix-up: no usr/ under the staging folder ${_root}")
endif()

find_program(_gzip gzip REQUIRED)
foreach(_r IN LISTS _roots)
  file(GLOB _pages "${_r}/usr/share/man/man1/*.1")
  file(GLOB _changelog "${_r}/usr/share/doc/*/changelog")
  foreach(_f IN LISTS _pages _changelog)
    # -n leaves out the name and time stamp, so the same tree always gives the same package.
    execute_process(COMMAND ${_gzip} -9nf "${_f}" RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "package fix-up: gzip ${_f} failed")
    endif()
  endforeach()

  file(GLOB _programs "${_r}/usr/bin/*")
  foreach(_p IN LISTS _programs)
    file(RPATH_REMOVE FILE "${_p}")
  endforeach()
endforeach()

# The skimmer service's options: installed beside the program's data (an install tree has no
# /etc of its own), packaged where its unit reads them.
foreach(_r IN LISTS _roots)
  set(_defaults "${_r}/usr/share/dita/dita-skimmer.default")
  if(EXISTS "${_defaults}")
    file(MAKE_DIRECTORY "${_r}/etc/default")
    file(RENAME "${_defaults}" "${_r}/etc/default/dita-skimmer")
  endif()
endforeach()
