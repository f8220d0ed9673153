# Displays: window-thread time per pass of the spectrum panel (line and waterfall) and the
# timeline window, each including its copy to the screen. Runs on the offscreen platform.
if(TARGET dita_display)
  add_executable(bench_display ${CMAKE_CURRENT_LIST_DIR}/display_bench.cpp)
  target_link_libraries(bench_display PRIVATE dita_display benchmark::benchmark)
endif()
