# The PC speaker: the kernel's tone device, the console, the x86 I/O ports, scripted stand-ins
# for tests, and the millisecond tick count. Plain C++, no Qt.
add_library(zuvela_platform_speaker STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Speaker.h
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerDevices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerDevices.h
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerSafety.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerSafety.h
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerScripted.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SpeakerScripted.h
    ${CMAKE_CURRENT_LIST_DIR}/TickCount.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TickCount.h)
target_include_directories(zuvela_platform_speaker PUBLIC ${PROJECT_SOURCE_DIR})
set_target_properties(zuvela_platform_speaker PROPERTIES AUTOMOC OFF)
