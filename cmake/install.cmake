# SPDX-License-Identifier: GPL-3.0-or-later
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
# Software centres list the program from its AppStream metadata.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/example.zuvela.Zuvela.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog go in compressed as Debian wants them (gzip -9n: no name or
# time stamp inside, so that the same source gives the same package).
set(zuvela_gzipped)
function(zuvela_install_gzipped source destination name)
    set(out ${PROJECT_BINARY_DIR}/gzipped/${name})
    add_custom_command(
        OUTPUT ${out}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gzipped
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${out}
        COMMAND gzip -9nf ${out}
        DEPENDS ${source}
        VERBATIM)
    install(FILES ${out}.gz DESTINATION ${destination})
    set(zuvela_gzipped ${zuvela_gzipped} ${out}.gz PARENT_SCOPE)
endfunction()
# One line per manual page.
zuvela_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/zuvela.1 ${CMAKE_INSTALL_MANDIR}/man1 zuvela.1)
zuvela_install_gzipped(${PROJECT_SOURCE_DIR}/cli/zuvela-cli.1 ${CMAKE_INSTALL_MANDIR}/man1
                       zuvela-cli.1)
# Bash completion for zuvela-cli, written by the program itself so that it offers exactly its
# commands, options and tone systems.
set(zuvela_completion ${PROJECT_BINARY_DIR}/completion/zuvela-cli)
add_custom_command(
    OUTPUT ${zuvela_completion}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/completion
    COMMAND zuvela-cli completion > ${zuvela_completion}
    DEPENDS zuvela-cli
    COMMENT "Writing the bash completion of zuvela-cli"
    VERBATIM)
add_custom_target(zuvela_completion ALL DEPENDS ${zuvela_completion})
install(FILES ${zuvela_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The package is its own upstream (a native package): its Debian changelog is changelog.gz.
zuvela_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR}
                       changelog)
add_custom_target(zuvela_gzipped ALL DEPENDS ${zuvela_gzipped})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
    "sound card or the PC speaker. The user interface is German.\n"
    "The command-line tool zuvela-cli does the same for scripts and reads\n"
    "recordings of a tone sequence back into their settings.")
set(CPACK_STRIP_FILES ON)
# Strips what CPack's strip leaves (the .comment and .note sections), as Debian's own tools do.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip-package.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps declares the libraries the program links (Qt 6, ALSA, the C++ runtime) and
# adds them to these: the toolkit's German texts, which the program loads at start-up.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
