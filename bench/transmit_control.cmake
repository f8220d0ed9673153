# Typed sending latency: a key typed in IMM mode must reach the keyer well within one dot at
# the highest speed (125 WPM: 9.6 ms), so the operator never waits on the typed sender.
if(TARGET dita_transmit_control)
  add_executable(bench_transmit_control ${CMAKE_CURRENT_LIST_DIR}/transmit_control_bench.cpp)
  target_link_libraries(bench_transmit_control PRIVATE dita_transmit_control benchmark::benchmark)
endif()
