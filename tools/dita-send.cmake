# dita-send: keys a text as the sound card would (into a WAV file or onto the default output)
# or on the DTR/RTS lines of a serial port.
add_executable(dita-send ${CMAKE_CURRENT_SOURCE_DIR}/dita-send.cpp)
target_link_libraries(dita-send PRIVATE dita_station dita_tone_devices dita_common)
install(TARGETS dita-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
target_compile_definitions(dita-send PRIVATE DITA_VERSION="${PROJECT_VERSION}")
