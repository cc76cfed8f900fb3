# The PC-speaker module: tones and waits over the speaker platform layer.
add_library(zuvela_bleeper STATIC
    ${CMAKE_CURRENT_LIST_DIR}/UNT_Bleeper.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UNT_Bleeper.h)
target_include_directories(zuvela_bleeper PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_bleeper PUBLIC Qt6::Core zuvela_platform_speaker)
