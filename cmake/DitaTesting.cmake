# dita_add_test(NAME SOURCES src... LIBS lib... [GUI] [LABELS l...] [TIMEOUT s])
# One GoogleTest executable per call, registered with CTest. GUI tests run on Qt's
# offscreen platform so they need no display.
#
# The label "threads" marks tests that run our own threads (run loop, capture, senders, tone
# output, flash timer); the ThreadSanitizer build runs just those. Their executables are
# collected in the target dita_thread_tests, so that build compiles only what they need; a test
# registered with add_test adds what it runs with add_dependencies(dita_thread_tests ...).
if(DITA_BUILD_TESTS AND NOT TARGET dita_thread_tests)
  add_custom_target(dita_thread_tests)
endif()

function(dita_add_test name)
  if(NOT DITA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    DITA_DATA_DIR="${DITA_DATA_DIR}"
    DITA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    if("threads" IN_LIST T_LABELS)
      add_dependencies(dita_thread_tests ${name})
    endif()
  endif()
  if(T_GUI)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
