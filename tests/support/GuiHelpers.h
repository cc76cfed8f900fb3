// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Driving the real windows as a user would, and answering their modal boxes and dialogs.
#include <QMessageBox>
#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

class QAbstractButton;
class QLineEdit;
class QWidget;

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
};

// Runs action. Each modal window that becomes active meanwhile is handed to onModal once
// per showing; onModal reads it and closes it. Message boxes that onModal does not close are
// recorded into boxes (when given) and answered with OK. A window still open after
// limitMs is closed and the test fails.
void runWithModals(const std::function<void()>& action,
                   const std::function<void(QWidget* modal)>& onModal,
                   std::vector<SeenBox>* boxes = nullptr, int limitMs = 15000);

// Runs the event loop until every event posted so far has been delivered (a call posted now
// has run, and with it whatever was posted before: a queued open, a palette change); false
// when that took longer than limitMs.
bool waitForPostedEvents(int limitMs = 10000);

// Runs action and answers every message box with OK; returns the boxes seen.
std::vector<SeenBox> messageBoxesDuring(const std::function<void()>& action);

// Runs action and answers the question before the same addresses twice in a row with "Ja"
// (recorded nowhere); every other box as messageBoxesDuring does. Returns those boxes.
std::vector<SeenBox> sayingYes(const std::function<void()>& action);

// Presses "Programmieren"; while the programming dialog is shown, runs inDialog and then
// closes the dialog. Message boxes meanwhile go to boxes (when given) and are answered with
// OK. Returns whether the dialog was shown.
bool whileProgramming(const std::function<void()>& inDialog, std::vector<SeenBox>* boxes = nullptr);

// Clicks into an edit (the focus moves there as a click would) and types text key by key.
void typeInto(QLineEdit* edit, const QString& text);
// Replaces an edit's text by typing: select all, delete, type.
void retype(QLineEdit* edit, const QString& text);
// A left click in the middle of a button, as the mouse gives it.
void click(QAbstractButton* button);

// Starts the program's windows for a test and closes them afterwards.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
