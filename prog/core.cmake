# Plain C++: the programming tones, their listing, the tone sequence and its synthesis.
add_library(zuvela_progcore STATIC
    ProgTones.h
    ProgListing.cpp ProgListing.h
    ToneSequence.cpp ToneSequence.h)
target_include_directories(zuvela_progcore PUBLIC ${PROJECT_SOURCE_DIR})
