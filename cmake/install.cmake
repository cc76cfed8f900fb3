# Desktop integration (program, icon, desktop entry) and the Debian package.
include(GNUInstallDirs)

# The 16-colour BMP stays the one source of the icon; the icon theme gets PNG renderings of it,
# enlarged pixel for pixel so that menus and docks need not blur it.
set(ZUVELA_ICON_SIZES 32 64 128)
set(zuvela_icon_pngs)
foreach(size IN LISTS ZUVELA_ICON_SIZES)
    set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/zuvela.png)
    add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
        COMMAND zuvela_icon_png ${PROJECT_SOURCE_DIR}/resources/icon.bmp ${png} ${size}
        DEPENDS zuvela_icon_png ${PROJECT_SOURCE_DIR}/resources/icon.bmp
        COMMENT "Rendering the ${size}x${size} icon"
        VERBATIM)
    list(APPEND zuvela_icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(zuvela_icons ALL DEPENDS ${zuvela_icon_pngs})

install(FILES ${PROJECT_SOURCE_DIR}/resources/zuvela.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The file type of programming-data files, so that a double click on one opens the program.
install(FILES ${PROJECT_SOURCE_DIR}/resources/zuvela-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME zuvela.xml)

# The Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zuvela)
set(CPACK_PACKAGE_VENDOR "Zuvela project")
set(CPACK_PACKAGE_CONTACT "Zuvela project <kontakt@zuvela.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programs the KV 740 / QMR 52 pager receiver")
# Lines of a Debian long description stay short; CPack indents them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Zuvela programs the KV 740 / QMR 52 radio pager receiver over an audio\n"
    "line: it encodes the tone system, the evaluator, the switch mode and up\n"
    "to four call addresses into programming tones and sends them through the\n"
    "sound card or the PC speaker. The user interface is German.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps declares the libraries the program links (Qt 6, ALSA, the C++ runtime) and
# adds them to these: the toolkit's German texts, which the program loads at start-up.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
