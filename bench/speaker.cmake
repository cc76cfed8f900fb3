# Timing of a four-address sequence through the speaker module.
add_executable(bench_speaker ${CMAKE_CURRENT_LIST_DIR}/bench_speaker.cpp)
target_link_libraries(bench_speaker PRIVATE zuvela_bleeper benchmark::benchmark)
