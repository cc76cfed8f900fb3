# The wave layers and the audio component. The player, recorder and ALSA tests run under TSan
# too.
add_library(zuvela_test_alsa STATIC support/AlsaCapture.cpp support/AlsaCapture.h)
target_include_directories(zuvela_test_alsa PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zuvela_test_alsa PUBLIC ALSA::ALSA)

zuvela_test(test_Audio SOURCES test_Audio.cpp LIBS zuvela_audio MAIN core LABELS threads)
zuvela_test(test_AudioRecorder SOURCES test_AudioRecorder.cpp LIBS zuvela_audio MAIN core
            LABELS threads)
zuvela_test(test_AudioMixer SOURCES test_AudioMixer.cpp LIBS zuvela_audio MAIN core
            LABELS threads)
zuvela_test(test_AudioAlsa SOURCES test_AudioAlsa.cpp LIBS zuvela_audio zuvela_test_alsa
            MAIN core LABELS threads)
