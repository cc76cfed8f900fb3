#include "app/TApplication.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("zuvela"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showErrorBox(activeWindow(), withPeriod(QString::fromUtf8(e.what())));
    } catch (...) {
        showErrorBox(activeWindow(), withPeriod(QStringLiteral("Unknown error")));
    }
    return true;
}

QString TApplication::withPeriod(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + u'.';
}
