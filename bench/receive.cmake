add_executable(bench_receive ${CMAKE_CURRENT_LIST_DIR}/receive_bench.cpp)
target_link_libraries(bench_receive PRIVATE dita_receive dita_soundfile benchmark::benchmark benchmark::benchmark_main)

add_executable(bench_soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
target_link_libraries(bench_soak PRIVATE dita_receive dita_soundfile)
target_compile_definitions(bench_soak PRIVATE DITA_SAMPLE="${DITA_DATA_DIR}/samples/cq-20wpm.ogg")

add_executable(bench_band ${CMAKE_CURRENT_LIST_DIR}/band_bench.cpp)
target_link_libraries(bench_band PRIVATE dita_receive dita_soundfile benchmark::benchmark)

# Not a Google Benchmark: the latency of the window's text in audio time, which is deterministic.
add_executable(bench_latency ${CMAKE_CURRENT_LIST_DIR}/latency.cpp)
target_link_libraries(bench_latency PRIVATE dita_receive)
