add_executable(bench_receive ${CMAKE_CURRENT_LIST_DIR}/receive_bench.cpp)
target_link_libraries(bench_receive PRIVATE dita_receive benchmark::benchmark benchmark::benchmark_main)
