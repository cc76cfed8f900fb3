zuvela_test(test_ToneTable SOURCES test_ToneTable.cpp LIBS zuvela_appcore)
zuvela_test(test_Addresses SOURCES test_Addresses.cpp LIBS zuvela_appcore)
zuvela_test(test_ProgEncoder SOURCES test_ProgEncoder.cpp LIBS zuvela_appcore)
zuvela_test(test_ProgListing SOURCES test_ProgListing.cpp LIBS zuvela_progcore)
