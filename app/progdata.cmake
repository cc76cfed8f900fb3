# Plain C++: the programming-data file, settings to profile entries and back.
add_library(zuvela_progdata STATIC ProgDataFile.cpp ProgDataFile.h)
target_include_directories(zuvela_progdata PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_progdata PUBLIC zuvela_platform_profile)
