// Takes pictures of the main window and the programming dialog for the README.
// Usage: zuvela_screenshot MAIN.png DIALOG.png (under a display, such as Xvfb).
#include "TApplication.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"

#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

namespace {

// Under a window manager the window has a frame: take the picture from the screen, frame and
// all. Without one, or when the screen cannot be read, the window draws itself.
QPixmap picture(QWidget* window) {
    const QRect frame = window->frameGeometry();
    if (frame != window->geometry()) {
        if (QScreen* screen = window->screen()) {
            QPixmap shot =
                screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            if (!shot.isNull()) {
                return shot;
            }
        }
    }
    return window->grab();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MAIN.png DIALOG.png\n", argv[0]);
        return 2;
    }
    TApplication application(argc, argv);
    createApplicationWindows();
    FRM_Main->show();
    const QString mainFile = QString::fromLocal8Bit(argv[1]);
    const QString dialogFile = QString::fromLocal8Bit(argv[2]);
    bool ok = true;
    // Let the window manager frame the window before taking its picture.
    QTimer::singleShot(800, [&] {
        ok = ok && picture(FRM_Main).save(mainFile);
        QTimer::singleShot(800, [&] {
            ok = ok && picture(FRM_Prog).save(dialogFile);
            FRM_Prog->close();
        });
        FRM_Main->BTN_Prog->click();
        QCoreApplication::quit();
    });
    TApplication::exec();
    destroyApplicationWindows();
    return ok ? 0 : 1;
}
