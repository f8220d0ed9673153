# The skimmer service: I/Q from a recording, SoapySDR or a sound card; spots over telnet.
add_executable(dita-skimmer ${CMAKE_CURRENT_LIST_DIR}/dita-skimmer.cpp)
target_link_libraries(dita-skimmer PRIVATE dita_skim_live)
install(TARGETS dita-skimmer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A systemd unit for running it as a service (disabled until the operator enables it).
install(FILES ${CMAKE_SOURCE_DIR}/data/dita-skimmer.service
        DESTINATION lib/systemd/system)
# Its options (EnvironmentFile of the unit); the package puts them in /etc/default/dita-skimmer.
install(FILES ${CMAKE_SOURCE_DIR}/data/dita-skimmer.default DESTINATION ${CMAKE_INSTALL_DATADIR}/dita)
if(DITA_BUILD_TESTS)
  # Live I/Q for real: a recording played into a PulseAudio null sink, read through PortAudio
  # and SoapySDR's audio module, and by the window. It runs alone, as the other real-time sound
  # tests do.
  add_test(NAME skimmer_live_tests
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/with-pulseaudio.sh
                   bash ${CMAKE_CURRENT_LIST_DIR}/tests/skimmer_live_test.sh
                   $<TARGET_FILE:dita-skimmer> $<TARGET_FILE:dita-send> $<TARGET_FILE:dita>)
  set_tests_properties(skimmer_live_tests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
endif()
