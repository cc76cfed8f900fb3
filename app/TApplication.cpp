// SPDX-License-Identifier: GPL-3.0-or-later
#include "TApplication.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("zuvela"));
    // Lets the desktop match the windows to zuvela.desktop (its icon and name on Wayland).
    setDesktopFileName(QStringLiteral("zuvela"));
    // The program is German whatever the desktop's language: the toolkit's own dialogs,
    // buttons and menus too.
    auto* german = new QTranslator(this);
    if (german->load(QStringLiteral("qtbase_de"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(german);
    setPalette(lightPalette());
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showDefaultErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        showDefaultErrorBox(QStringLiteral("Unknown error"));
    }
    return true;
}

QString TApplication::withPeriod(const QString& message) {
    return ::withPeriod(message);
}
