# The programming dialog and the look it shares with the main window.
add_library(zuvela_prog STATIC
    FormStyle.cpp FormStyle.h
    UNT_Prog.cpp UNT_Prog.h
    SoundDeviceChoice.cpp SoundDeviceChoice.h)
target_include_directories(zuvela_prog PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_prog PUBLIC zuvela_progcore zuvela_audio zuvela_bleeper Qt6::Widgets)
