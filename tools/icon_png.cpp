// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the application icon as PNG for the desktop's icon theme, enlarged pixel for pixel.
// Usage: zuvela_icon_png ICON.bmp OUT.png SIZE
#include <QImage>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ICON.bmp OUT.png SIZE\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || size < 16 || size > 1024) {
        std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[3]);
        return 2;
    }
    QImage icon;
    if (!icon.load(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    // Nearest neighbour keeps the 16-colour picture sharp.
    const QImage png =
        icon.convertToFormat(QImage::Format_RGB32)
            .scaled(int(size), int(size), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!png.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
