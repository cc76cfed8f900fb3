zuvela_test(test_UNT_Main SOURCES test_UNT_Main.cpp MAIN gui)
zuvela_test(test_UNT_Prog SOURCES test_UNT_Prog.cpp MAIN gui)
zuvela_test(test_UNT_Main_files SOURCES test_UNT_Main_files.cpp MAIN gui)
zuvela_test(test_UNT_Prog_send SOURCES test_UNT_Prog_send.cpp support/ToneDecoder.cpp
            LIBS zuvela_test_alsa MAIN gui)
zuvela_test(test_UNT_Prog_device SOURCES test_UNT_Prog_device.cpp LIBS zuvela_test_alsa MAIN gui)
# Through a real sound server (PipeWire with WirePlumber, started by the test itself). It
# checks timing sample for sample, so it runs alone, and not under a sanitizer's slowdown.
zuvela_test(test_UNT_Prog_pipewire SOURCES test_UNT_Prog_pipewire.cpp support/PipeWireServer.cpp
            support/ToneDecoder.cpp LIBS zuvela_test_alsa MAIN gui LABELS server SERIAL)
zuvela_test(test_UNT_Main_desktop SOURCES test_UNT_Main_desktop.cpp MAIN gui)
