# dita-send: keys a text as the sound card would (into a WAV file or onto the default output)
# or on the DTR/RTS lines of a serial port.
add_executable(dita-send ${CMAKE_CURRENT_SOURCE_DIR}/dita-send.cpp)
target_link_libraries(dita-send PRIVATE dita_station dita_tone_devices dita_common)
install(TARGETS dita-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
target_compile_definitions(dita-send PRIVATE DITA_VERSION="${PROJECT_VERSION}")
if(DITA_BUILD_TESTS)
  # The usage that cannot be written is an error, not a silent success.
  add_test(NAME dita_send_help_unwritten
    COMMAND sh -c "test -w /dev/full || exit 0; \"$0\" --help >/dev/full 2>/dev/null; test $? -eq 1"
      $<TARGET_FILE:dita-send>)
endif()
