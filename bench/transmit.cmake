# Tone rendering speed: a block must be computed far faster than it plays (4,096 samples are
# 92.9 ms of sound), and a whole text batch is built and rendered well ahead of real time.
add_executable(bench_transmit ${CMAKE_CURRENT_LIST_DIR}/transmit_bench.cpp)
target_link_libraries(bench_transmit PRIVATE dita_transmit benchmark::benchmark)
