// SPDX-License-Identifier: GPL-3.0-or-later
// Takes pictures of the program's windows for the README and for looking at them: both
// windows, both file dialogs and the message boxes, as a user meets them.
// Usage: zuvela_screenshot FOLDER (under a display with a window manager, such as Xvfb).
// Prints where each window stood, so that a first showing can be compared with the next.
#include "TApplication.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Under a window manager the window has a frame: take the picture from the screen, frame and
// all. Without one, or when the screen cannot be read, the window draws itself.
QPixmap picture(QWidget* window) {
    const QRect frame = window->frameGeometry();
    if (frame != window->geometry()) {
        if (QScreen* screen = window->screen()) {
            QPixmap shot =
                screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            if (!shot.isNull())
                return shot;
        }
    }
    return window->grab();
}

QDir folder;
bool ok = true;

void shoot(QWidget* window, const char* name) {
    if (window == nullptr) {
        std::fprintf(stderr, "%s: no window\n", name);
        ok = false;
        return;
    }
    const QRect f = window->frameGeometry();
    std::printf("%-22s frame %d,%d %dx%d  client %d,%d\n", name, f.x(), f.y(), f.width(),
                f.height(), window->geometry().x(), window->geometry().y());
    ok = picture(window).save(folder.filePath(QString::fromLatin1(name) + ".png")) && ok;
}

QWidget* modal() {
    return QApplication::activeModalWidget();
}

// Runs an action that may open a modal window from the event loop, not from the step.
void later(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

void answer(QMessageBox::StandardButton which) {
    if (auto* box = qobject_cast<QMessageBox*>(modal()))
        box->button(which)->click();
}

struct Step {
    int waitMs;
    std::function<void()> run;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    TApplication application(argc, argv);
    folder = QDir(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    const QString badFile = folder.filePath(QStringLiteral("kaputt.740"));
    {
        QFile file(badFile);
        if (file.open(QIODevice::WriteOnly))
            file.write("[A]\r\nTS=1\r\n[B I]\r\nRP=ja\r\nAD=57434\r\n");
    }
    // No programming data at all: a picture's first bytes.
    const QString noDataFile = folder.filePath(QStringLiteral("bild.740"));
    {
        QFile file(noDataFile);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    }
    createApplicationWindows();
    FRM_Main->show();
    const int settle = 900; // the window manager frames and places a new window

    const std::vector<Step> steps = {
        {settle, [] { shoot(FRM_Main, "main-window"); }},
        {0, [] { later([] { FRM_Main->BTN_Prog->click(); }); }},
        {settle, [] { shoot(FRM_Prog, "programming-dialog"); }},
        {0, [] { FRM_Prog->OPT_PCSpeaker->click(); }},
        {200, [] { shoot(FRM_Prog, "programming-speaker"); }},
        {0, [] { FRM_Prog->OPT_Soundcard->click(); }},
        {0, [] { later([] { FRM_Prog->BTN_Go->click(); }); }},
        {settle,
         [] {
             // Without a usable sound card the send says so.
             if (qobject_cast<QMessageBox*>(modal()) != nullptr) {
                 shoot(modal(), "box-soundcard");
                 answer(QMessageBox::Ok);
             }
         }},
        {200, [] { shoot(FRM_Prog, "programming-result"); }},
        {200, [] { FRM_Prog->close(); }},
        {300, [] { later([] { FRM_Main->BTN_Prog->click(); }); }},
        {settle,
         [] {
             shoot(FRM_Prog, "programming-again");
             FRM_Prog->close();
         }},
        {300, [] { later([] { FRM_Main->BTN_Open->click(); }); }},
        {settle, [] { shoot(modal(), "open-dialog"); }},
        {0, [] { static_cast<QDialog*>(modal())->reject(); }},
        {300, [] { later([] { FRM_Main->BTN_Save->click(); }); }},
        {settle, [] { shoot(modal(), "save-dialog"); }},
        {0,
         [] {
             auto* edit = modal()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
             edit->setText(QStringLiteral("beispiel"));
             later([dialog = static_cast<QDialog*>(modal())] { dialog->accept(); });
         }},
        {settle,
         [] {
             shoot(modal(), "box-create-question");
             answer(QMessageBox::No);
         }},
        {300, [] { static_cast<QDialog*>(modal())->reject(); }},
        {300,
         [] {
             FRM_Main->TXT_Adresse_01->setText(QStringLiteral("574"));
             later([] { FRM_Main->BTN_Prog->click(); });
         }},
        {settle,
         [] {
             shoot(modal(), "box-address");
             answer(QMessageBox::Ok);
         }},
        {300, [badFile] { later([badFile] { FRM_Main->OpenProgData(badFile); }); }},
        {settle,
         [] {
             shoot(modal(), "box-file");
             answer(QMessageBox::Ok);
         }},
        {300, [noDataFile] { later([noDataFile] { FRM_Main->OpenProgData(noDataFile); }); }},
        {settle,
         [] {
             shoot(modal(), "box-refused");
             answer(QMessageBox::Ok);
         }},
        {300, [] { later([] { FRM_Main->OpenProgData(QStringLiteral("/nicht/da.740")); }); }},
        {settle,
         [] {
             shoot(modal(), "box-not-found");
             answer(QMessageBox::Ok);
         }},
    };
    std::size_t next = 0;
    std::function<void()> runNext = [&] {
        if (next == steps.size()) {
            QCoreApplication::quit();
            return;
        }
        const Step& step = steps[next++];
        QTimer::singleShot(step.waitMs, [&step, &runNext] {
            step.run();
            runNext();
        });
    };
    runNext();
    TApplication::exec();
    QFile::remove(badFile);
    QFile::remove(noDataFile);
    destroyApplicationWindows();
    return ok ? 0 : 1;
}
