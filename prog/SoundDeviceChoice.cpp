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
    : QObject(option), option_(option), audio_(audio), devices_(std::move(devices)) {
    option_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(option_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { runHandler([this, at] { showMenu(at); }); });
    // Kept by its name even when it is not there now: a send never goes elsewhere.
    name_ = userSettings()->value(QLatin1String(settingsKey)).toString();
    resolve();
}

QString SoundDeviceChoice::defaultLabel() {
    return QStringLiteral("Standardgerät (ALSA default)");
}

bool SoundDeviceChoice::choose(const QString& name) {
    if (audio_->Player->IsOpen())
        return false;
    const QString previous = name_;
    name_ = name;
    if (!resolve()) {
        name_ = previous;
        resolve();
        return false;
    }
    return true;
}

bool SoundDeviceChoice::resolve() {
    bool found = name_.isEmpty();
    description_.clear();
    const std::vector<platform::AlsaDevice> devices =
        found ? std::vector<platform::AlsaDevice>{} : devices_();
    for (const platform::AlsaDevice& device : devices) {
        if (QString::fromStdString(device.name) != name_)
            continue;
        found = true;
        description_ = label(device);
        break;
    }
    // The component opens it by this name, never by its place in a list that may change.
    if (found && !audio_->Player->IsOpen())
        audio_->SetAudioDeviceName(name_.toStdString());
    updateToolTip(found);
    return found;
}

QString SoundDeviceChoice::missingText() const {
    return QStringLiteral("Das Ausgabegerät \"%1\" ist nicht vorhanden.").arg(name_);
}

void SoundDeviceChoice::updateToolTip(bool present) {
    QString tip = QStringLiteral("Ausgabegerät: ") + (name_.isEmpty() ? defaultLabel()
                                                      : present       ? description_
                                                                      : name_);
    if (!present)
        tip += QLatin1Char('\n') + missingText();
    tip += QStringLiteral("\nRechtsklick: anderes Gerät wählen");
    option_->setToolTip(tip);
}

void SoundDeviceChoice::showMenu(const QPoint& at) {
    QMenu menu(option_);
    menu.setObjectName(QStringLiteral("MNU_Soundkarte"));
    auto* group = new QActionGroup(&menu);
    menu.setToolTipsVisible(true);
    auto add = [&](const QString& text, const QString& name) {
        QString escaped = text;
        escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu.addAction(escaped);
        action->setToolTip(name.isEmpty() ? QStringLiteral("default") : name);
        action->setCheckable(true);
        action->setChecked(name == name_);
        action->setData(name);
        group->addAction(action);
    };
    add(defaultLabel(), QString());
    menu.addSeparator();
    // Cards and sound servers once each; the default stands above, converters play nowhere.
    for (const platform::AlsaDevice& device : devices_())
        if (platform::alsaOutputOffered(device.name))
            add(label(device), QString::fromStdString(device.name));
    if (extendMenu)
        extendMenu(menu);
    QAction* chosen = menu.exec(option_->mapToGlobal(at));
    if (!chosen || !group->actions().contains(chosen))
        return;
    const QString name = chosen->data().toString();
    if (name == name_)
        return;
    if (!choose(name)) {
        showErrorBox(
            option_->window(),
            audio_->Player->IsOpen()
                ? QStringLiteral("Während des Sendens kann das Ausgabegerät nicht "
                                 "gewechselt werden.")
                : QStringLiteral("Das Ausgabegerät \"%1\" ist nicht vorhanden.").arg(name));
        return;
    }
    userSettings()->setValue(QLatin1String(settingsKey), name_);
}
