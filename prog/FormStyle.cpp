// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormStyle.h"

#include "UserTexts.h"

#include <QApplication>
#include <QBitmap>
#include <QGridLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <cmath>
#include <cstring>
#include <exception>
#include <qdrawutil.h>

QFont faceFont(const char* face, int pixelHeight, bool bold) {
    QFont font(QString::fromLatin1(face));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

int emForCellHeight(const char* face, int cellHeight) {
    // Cell height over em height of the faces the windows use (ascent plus descent per em).
    const double ratio = std::strcmp(face, "Tahoma") == 0 ? 2472.0 / 2048.0 : 2489.0 / 2048.0;
    return static_cast<int>(std::lround(cellHeight / ratio));
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            palette.setColor(group, role, colour);
    widget->setPalette(palette);
}

QPalette lightPalette() {
    // The toolkit's own light palette, written out: its style hands out a dark one where the
    // desktop prefers dark.
    struct Role {
        QPalette::ColorRole role;
        QRgb active, disabled;
    };
    static const Role roles[] = {
        {QPalette::WindowText, 0x000000, 0xbebebe},
        {QPalette::Button, 0xefefef, 0xefefef},
        {QPalette::Light, 0xffffff, 0xffffff},
        {QPalette::Midlight, 0xcacaca, 0xcacaca},
        {QPalette::Dark, 0x9f9f9f, 0xbebebe},
        {QPalette::Mid, 0xb8b8b8, 0xb8b8b8},
        {QPalette::Text, 0x000000, 0xbebebe},
        {QPalette::BrightText, 0xffffff, 0xffffff},
        {QPalette::ButtonText, 0x000000, 0xbebebe},
        {QPalette::Base, 0xffffff, 0xefefef},
        {QPalette::Window, 0xefefef, 0xefefef},
        {QPalette::Shadow, 0x767676, 0xb1b1b1},
        {QPalette::Highlight, 0x308cc6, 0x919191},
        {QPalette::HighlightedText, 0xffffff, 0xffffff},
        {QPalette::Link, 0x0000ff, 0x0000ff},
        {QPalette::LinkVisited, 0xff00ff, 0xff00ff},
        {QPalette::AlternateBase, 0xf7f7f7, 0xf7f7f7},
        {QPalette::ToolTipBase, 0xffffdc, 0xffffdc},
        {QPalette::ToolTipText, 0x000000, 0x000000},
    };
    QPalette palette;
    for (const Role& r : roles) {
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, r.role, QColor(r.active));
        palette.setColor(QPalette::Disabled, r.role, QColor(r.disabled));
    }
    return palette;
}

namespace {
constexpr int kCaptionLeft = 8;
} // namespace

QRect TGroupBox::frameRect() const {
    return rect().adjusted(0, fontMetrics().height() / 2, 0, 0);
}

void TGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // An etched line: dark, then light inside it.
    qDrawShadeRect(&painter, frameRect(), palette(), true, 1, 0);
    const QString caption = title();
    if (caption.isEmpty())
        return;
    const QFontMetrics metrics = fontMetrics();
    const QRect text(kCaptionLeft, 0, metrics.horizontalAdvance(caption), metrics.height());
    // The caption interrupts the frame line: its box takes the parent's background.
    const QWidget* under = parentWidget() ? parentWidget() : this;
    painter.fillRect(text, under->palette().brush(under->backgroundRole()));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
}

TFlatButton::TFlatButton(QWidget* parent) : QToolButton(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
}

void TFlatButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (!hasFocus())
        return;
    // The style draws no focus on a flat button; a dotted line in the caption's colour shows
    // it on any background.
    QPainter painter(this);
    QPen pen(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(2, 2, -3, -3));
}

void TFlatButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QToolButton::keyPressEvent(event);
}

void placeCentred(QWidget* window, const QWidget* over) {
    if (over == nullptr)
        return;
    const QRect outer = over->frameGeometry();
    const QRect inner = over->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QSize framed = window->size().grownBy(frame);
    const QPoint frameTopLeft(outer.x() + (outer.width() - framed.width()) / 2,
                              outer.y() + (outer.height() - framed.height()) / 2);
    // The client area's place, which does not depend on when the frame becomes known.
    window->setGeometry(QRect(frameTopLeft + QPoint(frame.left(), frame.top()), window->size()));
}

QPixmap bmpPicture(const QString& resource) {
    QImageReader reader(resource, "bmp");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QIcon glyph(const QString& resource) {
    QPixmap picture = bmpPicture(resource);
    picture.setMask(picture.createMaskFromColor(QColor(255, 0, 255)));
    return QIcon(picture);
}

void keepTabStopOnChecked(QRadioButton* option) {
    auto follow = [option](bool checked) {
        option->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
    };
    follow(option->isChecked());
    QObject::connect(option, &QRadioButton::toggled, option, follow);
}

void fitCaption(QMessageBox& box) {
    QFont bold = box.font();
    bold.setBold(true);
    // Room for the window manager's icon and buttons beside the caption.
    constexpr int titleBarExtras = 120;
    const int wanted = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + titleBarExtras;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

void TMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event); // gives the box its final size
    if (!event->spontaneous())
        placeCentred(this, parentWidget());
}

void showErrorBox(QWidget* owner, const QString& text) {
    TMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, owner);
    fitCaption(box);
    box.exec();
}

QString withPeriod(const QString& message) {
    return QString::fromStdString(::withPeriod(message.toStdString()));
}

void showDefaultErrorBox(const QString& message) {
    showErrorBox(QApplication::activeWindow(), withPeriod(message));
}

void runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showDefaultErrorBox(QString::fromUtf8(e.what()));
    }
}
