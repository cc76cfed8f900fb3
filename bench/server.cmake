# Through a real sound server (PipeWire, started by the benchmark): click to the first sample
# at the server, underruns under CPU load, CPU per second of sound.
add_executable(bench_server bench_server.cpp ${PROJECT_SOURCE_DIR}/tests/support/PipeWireServer.cpp)
target_include_directories(bench_server PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_server PRIVATE zuvela_app Qt6::Test ALSA::ALSA)
