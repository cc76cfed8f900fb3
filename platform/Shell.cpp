// SPDX-License-Identifier: GPL-3.0-or-later
#include "Shell.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace platform {

void shellOpen(const std::string& link) {
    QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(link)});
}

} // namespace platform
