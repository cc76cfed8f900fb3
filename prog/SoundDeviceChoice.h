// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The output device behind the "Soundkarte" option: its context menu (right click or the menu
// key) lists ALSA's default and every playback device, the current one checked; the choice
// becomes the audio component's AudioDeviceID and persists in the user's settings.
#include "WaveOutAlsa.h"

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QMenu;
class QPoint;
class QRadioButton;
class TAudio;

class SoundDeviceChoice : public QObject {
public:
    using DeviceList = std::function<std::vector<platform::AlsaDevice>()>;

    // Reads the stored choice; a device that is gone means the default (the tool tip says so).
    SoundDeviceChoice(QRadioButton* option, TAudio* audio,
                      DeviceList devices = platform::alsaPlaybackDevices);

    // The ALSA name of the chosen device; empty for the default.
    const QString& deviceName() const { return FName; }
    // Chooses a device by name (empty: the default); false when the component refuses
    // because a send is playing, or when no such device exists.
    bool choose(const QString& name);

    static QString defaultLabel();

private:
    void showMenu(const QPoint& at);
    void apply(const QString& name, const QString& missing);
    void updateToolTip(const QString& missing);

    QRadioButton* const FOption;
    TAudio* const FAudio;
    DeviceList FDevices;
    QString FName;
    QString FDescription;
};
