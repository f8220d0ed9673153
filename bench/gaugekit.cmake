# gaugekit: cost of DITA's per-pass calls on the signal bar and of the bar drawing.
if(TARGET gaugekit)
  add_executable(bench_gaugekit ${CMAKE_CURRENT_LIST_DIR}/gaugekit_bench.cpp)
  target_link_libraries(bench_gaugekit PRIVATE gaugekit benchmark::benchmark)
endif()
