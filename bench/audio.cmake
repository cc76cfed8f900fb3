# The player through real ALSA's file plugin: start latency and CPU cost per second of sound.
add_executable(bench_audio bench_audio.cpp ${PROJECT_SOURCE_DIR}/tests/support/AlsaCapture.cpp)
target_include_directories(bench_audio PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_audio PRIVATE zuvela_audio benchmark::benchmark ALSA::ALSA)
