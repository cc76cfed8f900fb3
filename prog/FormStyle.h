// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fonts, colours and glyphs shared by the program's two windows.
#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QToolButton>
#include <QWidget>
#include <functional>

#include <QMessageBox>

class QWidget;
class QRadioButton;

// The application title: task-bar entry and the caption of every message box.
inline const QString kApplicationTitle = QStringLiteral("Zuvela für KV 740 / QMR 52");

// A modal error box owned by owner, with the application title, the error icon and OK.
void showErrorBox(QWidget* owner, const QString& text);

// A message box placed centred on its owner on its first showing too (see placeCentred).
class TMessageBox : public QMessageBox {
    Q_OBJECT
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override;
};

// Widens a message box to show its whole caption: window managers cut a caption that is wider
// than its window.
void fitCaption(QMessageBox& box);

// The default error box's text: a period is appended unless the message is empty or its last
// character is at most '.' (such as a period, a comma, a closing parenthesis or a blank).
QString withPeriod(const QString& message);
// The default error box for an error that no handler caught, owned by the active window.
void showDefaultErrorBox(const QString& message);

// Runs an event handler. An error it does not catch goes to the default error box here, so
// that it never unwinds through the toolkit's own code, and the program goes on.
void runHandler(const std::function<void()>& handler);

inline const QColor kNavy(0, 0, 128);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kGreen(0, 128, 0);
inline const QColor kGray(128, 128, 128);
inline const QColor kRed(255, 0, 0);

// A font face at a character (em) height in pixels. Where the face is missing here the
// system substitutes another; the face asked for stays the one named.
QFont faceFont(const char* face, int pixelHeight, bool bold = false);
// The em height of a face whose cell height (em plus internal leading) is given.
int emForCellHeight(const char* face, int cellHeight);

// The colour of a control's text (and of the captions of its children) while it is enabled;
// disabled, it shows the palette's disabled text colour like any other control.
void setTextColour(QWidget* widget, const QColor& colour);

// The light face the windows are drawn for: their navy and maroon texts need it, whatever
// colours the desktop uses.
QPalette lightPalette();

// A group box drawn as the layouts intend: the caption sits on the top frame line, the frame
// starts at the caption's middle, so controls placed 16 px into the group stay clear of it.
class TGroupBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
    // The frame's outer rectangle; its lines are two pixels wide.
    QRect frameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A flat button: raised only under the mouse. It takes the focus from the keyboard (Tab), never
// from a click, shows a dotted frame while it has it, and Space or Enter press it.
class TFlatButton : public QToolButton {
    Q_OBJECT
public:
    explicit TFlatButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Places window centred on over. Before its first showing a window's frame is not known yet;
// over's frame, drawn by the same window manager, stands in for it.
void placeCentred(QWidget* window, const QWidget* over);

// A control of a window, named (handlers read the names) and placed in its parent's client
// area at left, top, width, height.
template <typename T>
T* control(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// One of the program's BMP pictures, read as BMP: the toolkit's image plugins, which it would
// otherwise load to ask each whether it knows the file, stay unloaded.
QPixmap bmpPicture(const QString& resource);

// A 16 x 16 button picture whose magenta background is drawn transparent.
QIcon glyph(const QString& resource);

// Only the checked option of a radio group is a tab stop.
void keepTabStopOnChecked(QRadioButton* option);
