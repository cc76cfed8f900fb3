// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "FormStyle.h"

#include <QApplication>
#include <QString>

// The application object. An exception that no handler catches ends up in the default error
// box, and the program goes on with the next event. The handlers catch their own (runHandler);
// this is the last resort for anything else.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The default error box's text (see withPeriod of the windows' shared code).
    static QString withPeriod(const QString& message);
};
