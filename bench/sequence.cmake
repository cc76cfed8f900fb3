find_package(Qt6 REQUIRED COMPONENTS Test)
# The send: rendering the full sequence, and the time from the click on "OK und los !" to the
# first byte reaching ALSA (its file plugin) in the real program's windows.
add_executable(bench_sequence bench_sequence.cpp ${PROJECT_SOURCE_DIR}/tests/support/AlsaCapture.cpp)
target_include_directories(bench_sequence PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_sequence PRIVATE zuvela_app benchmark::benchmark ALSA::ALSA)

# Start-up: process start to the shown main window, and the memory in use then.
add_executable(bench_startup bench_startup.cpp ${PROJECT_SOURCE_DIR}/tests/support/AlsaCapture.cpp)
target_include_directories(bench_startup PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_startup PRIVATE zuvela_app zuvela_bleeper Qt6::Test ALSA::ALSA)
