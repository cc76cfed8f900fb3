// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The output device behind the "Soundkarte" option: its context menu (right click or the menu
// key) lists ALSA's default and every playback device, the current one checked. The choice is
// kept by its ALSA name (and persists in the user's settings); every send checks that ALSA
// lists it and hands the name to the audio component, which opens the device by it.
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

    // Reads the stored choice; a device that is gone stays chosen (the tool tip says so).
    SoundDeviceChoice(QRadioButton* option, TAudio* audio,
                      DeviceList devices = platform::alsaPlaybackDevices);

    // The ALSA name of the chosen device; empty for the default.
    const QString& deviceName() const { return name_; }
    // Chooses a device by name (empty: the default); false when the component refuses
    // because a send is playing, or when no such device exists.
    bool choose(const QString& name);

    // Hands the chosen device's name to the component when ALSA lists it now, and sets the
    // tool tip; false when it is not there (nothing is changed then but the tool tip).
    bool resolve();
    // "the chosen device is not there", naming it.
    QString missingText() const;

    static QString defaultLabel();

    // Adds further entries to the context menu, below the devices.
    std::function<void(QMenu&)> extendMenu;

private:
    void showMenu(const QPoint& at);
    void updateToolTip(bool present);

    QRadioButton* const option_;
    TAudio* const audio_;
    DeviceList devices_;
    QString name_;
    QString description_;
};
