# The skimmer service: I/Q from a recording, SoapySDR or a sound card; spots over telnet.
add_executable(dita-skimmer ${CMAKE_CURRENT_LIST_DIR}/dita-skimmer.cpp)
target_link_libraries(dita-skimmer PRIVATE dita_skim_live)
install(TARGETS dita-skimmer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A systemd unit for running it as a service (disabled until the operator enables it).
install(FILES ${CMAKE_SOURCE_DIR}/data/dita-skimmer.service
        DESTINATION lib/systemd/system)
# Its options (EnvironmentFile of the unit); the package puts them in /etc/default/dita-skimmer.
install(FILES ${CMAKE_SOURCE_DIR}/data/dita-skimmer.default DESTINATION ${CMAKE_INSTALL_DATADIR}/dita)
