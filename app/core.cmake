# Plain C++: tone table, address rules and the tone encoder.
add_library(zuvela_appcore STATIC
    ToneTable.cpp ToneTable.h
    Addresses.cpp Addresses.h
    ProgEncoder.cpp ProgEncoder.h)
target_include_directories(zuvela_appcore PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_appcore PUBLIC zuvela_progcore zuvela_platform_text)
