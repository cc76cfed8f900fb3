# The PC-speaker module and its platform layer.
zuvela_test(test_UNT_Bleeper SOURCES test_UNT_Bleeper.cpp LIBS zuvela_bleeper MAIN core
            LABELS speaker)
zuvela_test(test_SpeakerPlatform SOURCES test_SpeakerPlatform.cpp LIBS zuvela_platform_speaker
            LABELS speaker)
