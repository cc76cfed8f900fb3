// SPDX-License-Identifier: GPL-3.0-or-later
#include "TApplication.h"

#include "Version.h"

#include <QLibraryInfo>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <exception>
#include <string_view>

namespace {

// The look, set before the application object exists: its constructor would otherwise look
// for the desktop's style among the style plugins and load it (a plugin of its own on some
// desktops), only for it to be replaced at once.
QPointer<QStyle> earlyStyle;

int& withEarlyStyle(int& argc) {
    earlyStyle = QStyleFactory::create(QStringLiteral("Fusion"));
    QApplication::setStyle(earlyStyle);
    return argc;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(withEarlyStyle(argc), argv) {
    setApplicationName(QStringLiteral("zuvela"));
    // Lets the desktop match the windows to zuvela.desktop (its icon and name on Wayland).
    setDesktopFileName(QStringLiteral("zuvela"));
    // The program is German whatever the desktop's language: the toolkit's own dialogs,
    // buttons and menus too.
    auto* german = new QTranslator(this);
    if (german->load(QStringLiteral("qtbase_de"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(german);
    // One look on every desktop: the layouts are drawn for it, and a desktop's style or
    // dark palette would leave the navy and maroon texts unreadable.
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Set while there was no application to own it: unless the toolkit took it, it is ours.
    delete earlyStyle.data();
    applyLightFace();
}

void TApplication::applyLightFace() {
    const QPalette light = lightPalette();
    setPalette(light);
    // A platform theme gives these classes palettes of their own (GTK's dark ones, say),
    // which would win over the application's.
    for (const char* className :
         {"QToolButton", "QAbstractButton", "QCheckBox", "QRadioButton", "QHeaderView",
          "QAbstractItemView", "QMessageBoxLabel", "QTabBar", "QLabel", "QGroupBox", "QMenu",
          "QMenuBar", "QTextEdit", "QPlainTextEdit", "QLineEdit", "QComboBox", "QTipLabel"})
        setPalette(light, className);
}

bool TApplication::event(QEvent* event) {
    // The desktop switched its theme or palette: the light face again, once the toolkit has
    // taken the desktop's.
    if ((event->type() == QEvent::ApplicationPaletteChange ||
         event->type() == QEvent::ThemeChange) &&
        !relighting_) {
        relighting_ = true;
        QTimer::singleShot(0, this, [this] {
            applyLightFace();
            relighting_ = false;
        });
    }
    return QApplication::event(event);
}

std::optional<int> TApplication::answerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs("Aufruf: zuvela [DATEI.740]\n"
                       "Programmiert den Funkmeldeempfänger KV 740 / QMR 52 über eine "
                       "Tonleitung.\n\n"
                       "  DATEI.740    lädt diese Programmierdaten beim Start, wie die "
                       "Schaltfläche zum Laden\n"
                       "  -h, --help   zeigt diese Hilfe und endet\n"
                       "  --version    zeigt die Version und endet\n\n"
                       "Tasten: Eingabetaste in einem Rufadressfeld programmiert, Strg+O lädt,\n"
                       "Strg+S speichert; im Fenster \"Programmierdaten\" sendet die "
                       "Eingabetaste,\nEsc schließt es.\n"
                       "Ohne Fenster: zuvela-cli (man zuvela-cli).\n",
                       stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("zuvela %s\n", kVersionLabel);
            return 0;
        }
    }
    return std::nullopt;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showDefaultErrorBox(QString::fromUtf8(e.what()));
    } catch (...) {
        showDefaultErrorBox(QStringLiteral("Unbekannter Fehler"));
    }
    return true;
}

QString TApplication::withPeriod(const QString& message) {
    return ::withPeriod(message);
}
