// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/GuiHelpers.h"

#include "UNT_Main.h"
#include "UNT_Prog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

void runWithModals(const std::function<void()>& action,
                   const std::function<void(QWidget*)>& onModal, std::vector<SeenBox>* boxes,
                   int limitMs) {
    QList<QPointer<QWidget>> handled;
    QElapsedTimer clock;
    clock.start();
    const auto running = std::make_shared<bool>(true);
    // Calls nest (an answer may itself run one): only the innermost one answers.
    static int innermost = 0;
    const int level = ++innermost;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (level != innermost)
            return;
        handled.removeIf([](const QPointer<QWidget>& w) { return w.isNull() || !w->isVisible(); });
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && !handled.contains(modal)) {
            handled.append(modal);
            // Answered from the event loop, not from inside this timer: an answer that opens
            // another modal window must not keep the timer from seeing it.
            QTimer::singleShot(0, modal, [modal, &onModal, boxes, running] {
                if (!*running)
                    return;
                if (onModal)
                    onModal(modal);
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (box == nullptr || !box->isVisible())
                    return;
                if (boxes != nullptr)
                    boxes->push_back(
                        {box->windowTitle(), box->text(), box->icon(), box->parentWidget()});
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->close();
            });
        }
        if (modal != nullptr && clock.elapsed() > limitMs) {
            ADD_FAILURE() << "a modal window stayed open: " << modal->objectName().toStdString();
            modal->close();
        }
    });
    timer.start(5);
    action();
    *running = false;
    --innermost;
}

bool waitForPostedEvents(int limitMs) {
    const auto delivered = std::make_shared<bool>(false);
    QTimer::singleShot(0, qApp, [delivered] { *delivered = true; });
    return QTest::qWaitFor([&delivered] { return *delivered; }, limitMs);
}

std::vector<SeenBox> messageBoxesDuring(const std::function<void()>& action) {
    std::vector<SeenBox> boxes;
    runWithModals(action, nullptr, &boxes);
    return boxes;
}

std::vector<SeenBox> sayingYes(const std::function<void()>& action) {
    std::vector<SeenBox> boxes;
    runWithModals(
        action,
        [](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box != nullptr && box->button(QMessageBox::Yes) != nullptr)
                box->button(QMessageBox::Yes)->click();
        },
        &boxes);
    return boxes;
}

bool whileProgramming(const std::function<void()>& inDialog, std::vector<SeenBox>* boxes) {
    bool shown = false;
    runWithModals([] { click(FRM_Main->BTN_Prog); },
                  [&](QWidget* modal) {
                      if (modal != FRM_Prog)
                          return;
                      shown = true;
                      inDialog();
                      FRM_Prog->close();
                  },
                  boxes);
    return shown;
}

void typeInto(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(edit, text);
}

void retype(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

void ProgramTest::SetUp() {
    createApplicationWindows();
    FRM_Main->openLink = [](const std::string&) {};
    FRM_Main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FRM_Main));
    QApplication::setActiveWindow(FRM_Main);
}

void ProgramTest::TearDown() {
    destroyApplicationWindows();
}
