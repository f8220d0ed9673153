add_executable(dita-decode ${CMAKE_CURRENT_LIST_DIR}/dita-decode.cpp ${CMAKE_CURRENT_LIST_DIR}/DecodeOptions.cpp)
target_include_directories(dita-decode PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(dita-decode PRIVATE dita_receive dita_soundfile)
target_compile_definitions(dita-decode PRIVATE DITA_VERSION="${PROJECT_VERSION}")
install(TARGETS dita-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DITA_BUILD_TESTS)
  add_test(NAME dita_decode_cli COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tests/dita_decode_cli_test.sh
           $<TARGET_FILE:dita-decode> ${DITA_DATA_DIR})
  dita_add_test(decode_options_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/decode_options_tests.cpp
                ${CMAKE_CURRENT_LIST_DIR}/DecodeOptions.cpp LIBS dita_receive)
  if(TARGET decode_options_tests)
    target_include_directories(decode_options_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  endif()
endif()
