// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundCardSend.h"

#include "Audio.h"

#include <QBuffer>

TSendStatus startSend(TAudio& audio, const std::vector<uint8_t>& samples) {
    QByteArray bytes(reinterpret_cast<const char*>(samples.data()),
                     static_cast<qsizetype>(samples.size()));
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    // Only a failure of this send counts, not a text an earlier one left behind.
    audio.ErrorMessage.clear();
    try {
        audio.Player->Play(&stream, nullptr, 0);
    } catch (const TPlayFileError& e) {
        return {TSendResult::NotStarted, QString::fromUtf8(e.what())};
    }
    if (!audio.ErrorMessage.isEmpty()) {
        if (audio.Player->Active())
            audio.Player->Stop();
        return {TSendResult::NotStarted, QString::fromUtf8(kSoundCardUnavailable) +
                                             QStringLiteral("\r\n") + audio.ErrorMessage};
    }
    return {TSendResult::Started, {}};
}

TSendStatus sendEnd(const TAudio& audio) {
    switch (audio.Player->Outcome()) {
    case TPlayOutcome::Played:
        return {TSendResult::Sent, {}};
    case TPlayOutcome::Stopped:
        return {TSendResult::Stopped, {}};
    case TPlayOutcome::Gap:
    case TPlayOutcome::DeviceLost:
    case TPlayOutcome::PlayFile:
        break;
    }
    QString text = QString::fromUtf8(kSoundCardUnavailable) +
                   QStringLiteral("\r\nDie Übertragung wurde unterbrochen, der Empfänger ist nicht "
                                  "vollständig programmiert. Bitte erneut senden.");
    if (const QString& cause = audio.Player->PlaybackFailure(); !cause.isEmpty())
        text += QStringLiteral("\r\nUrsache: ") + cause + QLatin1Char('.');
    return {TSendResult::Interrupted, text};
}
