#include "FormStyle.h"

#include <QApplication>
#include <QBitmap>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <cmath>
#include <cstring>
#include <exception>

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
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, colour);
    widget->setPalette(palette);
}

QIcon glyph(const QString& resource) {
    QPixmap picture(resource);
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

void showErrorBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, owner);
    box.exec();
}

QString withPeriod(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + u'.';
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
