// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "FormStyle.h"

#include <QApplication>
#include <QString>
#include <optional>

// The application object. An exception that no handler catches ends up in the default error
// box, and the program goes on with the next event. The handlers catch their own (runHandler);
// this is the last resort for anything else.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // "--help" and "--version" print their text to the terminal; the program then ends with
    // the status returned, before any window or display is needed. Nothing for other arguments.
    static std::optional<int> answerInfoOption(int argc, char** argv);

    // The default error box's text (see withPeriod of the windows' shared code).
    static QString withPeriod(const QString& message);

protected:
    // A desktop that hands the program a palette of its own later (a theme or palette tool
    // switching to dark) gets the light one back.
    bool event(QEvent* event) override;

private:
    void applyLightFace();
    bool relighting_ = false;
};
