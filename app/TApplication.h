#pragma once
#include "prog/FormStyle.h"

#include <QApplication>
#include <QString>

// The application object. An exception that no handler catches ends up here, in the default
// error box, and the program goes on with the next event.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The default error box's text: a period is appended unless the message is empty or
    // its last character is at most '.' (such as a period, a comma or a blank).
    static QString withPeriod(const QString& message);
};
