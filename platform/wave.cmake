# Wave output, input and mixer services: ALSA for the program, a scripted layer for tests.
find_package(Threads REQUIRED)
add_library(zuvela_platform_wave STATIC
    WaveWindow.h
    WaveOut.cpp WaveOut.h
    WaveSimPlan.h
    WaveOutAlsa.cpp WaveOutAlsa.h
    WaveOutSim.cpp WaveOutSim.h
    WaveIn.h WaveInAlsa.cpp WaveInSim.cpp WaveInSim.h
    WaveMixer.h WaveMixerAlsa.cpp WaveMixerAlsa.h WaveMixerSim.cpp WaveMixerSim.h)
target_include_directories(zuvela_platform_wave PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_platform_wave PUBLIC ALSA::ALSA Threads::Threads)
