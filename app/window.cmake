# The main window, the application object and the program.
add_library(zuvela_app STATIC
    TApplication.cpp TApplication.h
    ProgDataDialog.cpp ProgDataDialog.h
    UNT_Main.cpp UNT_Main.h)
# The button pictures and the icon, compiled in.
qt_add_resources(zuvela_app pictures
    PREFIX /zuvela
    BASE ${PROJECT_SOURCE_DIR}/resources
    FILES ${PROJECT_SOURCE_DIR}/resources/open.bmp ${PROJECT_SOURCE_DIR}/resources/save.bmp
          ${PROJECT_SOURCE_DIR}/resources/prog.bmp ${PROJECT_SOURCE_DIR}/resources/go.bmp
          ${PROJECT_SOURCE_DIR}/resources/icon.bmp)
target_include_directories(zuvela_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zuvela_app PUBLIC zuvela_appcore zuvela_progdata zuvela_prog zuvela_platform_shell
                                        zuvela_platform_text Qt6::Widgets)

add_executable(zuvela main.cpp)
target_link_libraries(zuvela PRIVATE zuvela_app zuvela_bleeper)
install(TARGETS zuvela RUNTIME DESTINATION bin)
