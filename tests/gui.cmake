zuvela_test(test_UNT_Main SOURCES test_UNT_Main.cpp MAIN gui)
zuvela_test(test_UNT_Prog SOURCES test_UNT_Prog.cpp MAIN gui)
