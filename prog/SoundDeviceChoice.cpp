// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundDeviceChoice.h"

#include "Audio.h"
#include "FormStyle.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>

#include <memory>

namespace {

const char* const settingsKey = "Soundkarte/Geraet";

std::unique_ptr<QSettings> userSettings() {
    return std::make_unique<QSettings>(QStringLiteral("zuvela"), QStringLiteral("zuvela"));
}

// A device by its description; its ALSA name where it has none.
QString label(const platform::AlsaDevice& device) {
    return QString::fromStdString(device.description.empty() ? device.name : device.description);
}

} // namespace

SoundDeviceChoice::SoundDeviceChoice(QRadioButton* option, TAudio* audio, DeviceList devices)
    : QObject(option), FOption(option), FAudio(audio), FDevices(std::move(devices)) {
    FOption->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FOption, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { runHandler([this, at] { showMenu(at); }); });
    // Kept by its name even when it is not there now: a send never goes elsewhere.
    FName = userSettings()->value(QLatin1String(settingsKey)).toString();
    resolve();
}

QString SoundDeviceChoice::defaultLabel() {
    return QStringLiteral("Standardgerät (ALSA default)");
}

bool SoundDeviceChoice::choose(const QString& name) {
    if (FAudio->Player->IsOpen())
        return false;
    const QString previous = FName;
    FName = name;
    if (!resolve()) {
        FName = previous;
        resolve();
        return false;
    }
    return true;
}

bool SoundDeviceChoice::resolve() {
    int32_t id = platform::WAVE_MAPPER;
    bool found = FName.isEmpty();
    FDescription.clear();
    const std::vector<platform::AlsaDevice> devices =
        found ? std::vector<platform::AlsaDevice>{} : FDevices();
    for (std::size_t i = 0; i < devices.size() && !found; ++i) {
        if (QString::fromStdString(devices[i].name) != FName)
            continue;
        found = true;
        id = static_cast<int32_t>(i);
        FDescription = label(devices[i]);
    }
    if (found && !FAudio->Player->IsOpen()) {
        FAudio->SetAudioDeviceID(id);
        found = FAudio->AudioDeviceID() == id; // beyond what the component can number
    }
    updateToolTip(found);
    return found;
}

QString SoundDeviceChoice::missingText() const {
    return QStringLiteral("Das Ausgabegerät \"%1\" ist nicht vorhanden.").arg(FName);
}

void SoundDeviceChoice::updateToolTip(bool present) {
    QString tip = QStringLiteral("Ausgabegerät: ") + (FName.isEmpty() ? defaultLabel()
                                                      : present       ? FDescription
                                                                      : FName);
    if (!present)
        tip += QLatin1Char('\n') + missingText();
    tip += QStringLiteral("\nRechtsklick: anderes Gerät wählen");
    FOption->setToolTip(tip);
}

void SoundDeviceChoice::showMenu(const QPoint& at) {
    QMenu menu(FOption);
    menu.setObjectName(QStringLiteral("MNU_Soundkarte"));
    auto* group = new QActionGroup(&menu);
    menu.setToolTipsVisible(true);
    auto add = [&](const QString& text, const QString& name) {
        QString escaped = text;
        escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu.addAction(escaped);
        action->setToolTip(name.isEmpty() ? QStringLiteral("default") : name);
        action->setCheckable(true);
        action->setChecked(name == FName);
        action->setData(name);
        group->addAction(action);
    };
    add(defaultLabel(), QString());
    menu.addSeparator();
    // Cards and sound servers once each; the default stands above, converters play nowhere.
    for (const platform::AlsaDevice& device : FDevices())
        if (platform::alsaOutputOffered(device.name))
            add(label(device), QString::fromStdString(device.name));
    QAction* chosen = menu.exec(FOption->mapToGlobal(at));
    if (!chosen)
        return;
    const QString name = chosen->data().toString();
    if (name == FName)
        return;
    if (!choose(name)) {
        showErrorBox(
            FOption->window(),
            FAudio->Player->IsOpen()
                ? QStringLiteral("Während des Sendens kann das Ausgabegerät nicht "
                                 "gewechselt werden.")
                : QStringLiteral("Das Ausgabegerät \"%1\" ist nicht vorhanden.").arg(name));
        return;
    }
    userSettings()->setValue(QLatin1String(settingsKey), FName);
}
