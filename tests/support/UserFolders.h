// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps a test process away from the user's own folders: settings go to a fresh folder, and
// the cache folder is a plain file, so that the player falls back to the working directory
// (a test that wants the cache folder sets XDG_CACHE_HOME itself).
#include <QDir>
#include <QFile>
#include <QString>

inline void isolateUserFolders(const QString& workDir) {
    const QString config = workDir + QStringLiteral("/config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString noCache = workDir + QStringLiteral("/no-cache");
    QFile file(noCache);
    file.open(QIODevice::WriteOnly);
    qputenv("XDG_CACHE_HOME", QFile::encodeName(noCache));
}
