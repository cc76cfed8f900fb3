# Profile (INI) files read and written by section and key, and the Boolean conversion of their
# values. Plain C++ on POSIX files, no Qt.
add_library(zuvela_platform_profile STATIC
    ProfileFile.cpp ProfileFile.h
    ProfileBool.cpp ProfileBool.h)
target_include_directories(zuvela_platform_profile PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_platform_profile PUBLIC zuvela_platform_text)
