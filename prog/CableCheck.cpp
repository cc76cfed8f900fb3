// SPDX-License-Identifier: GPL-3.0-or-later
#include "CableCheck.h"

#include "SoundServer.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const enabledKey = "Pruefen/An";
const char* const inputKey = "Pruefen/Eingang";

QSettings userSettings() {
    return QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela"));
}

} // namespace

CableCheck::CableCheck(QObject* owner) : QObject(owner) {
    enabled_ = userSettings().value(QLatin1String(enabledKey), false).toBool();
    input_ = userSettings().value(QLatin1String(inputKey)).toString();
}

CableCheck::~CableCheck() = default;

void CableCheck::setEnabled(bool on) {
    enabled_ = on;
    userSettings().setValue(QLatin1String(enabledKey), on);
}

void CableCheck::setInputName(const QString& name) {
    input_ = name;
    userSettings().setValue(QLatin1String(inputKey), name);
}

void CableCheck::addToMenu(QMenu& menu) {
    menu.addSeparator();
    QAction* check = menu.addAction(QStringLiteral("Prüfen"));
    check->setObjectName(QStringLiteral("ACT_Pruefen"));
    check->setCheckable(true);
    check->setChecked(enabled_);
    check->setToolTip(QStringLiteral("Beim Senden vom Eingang aufnehmen und Ton für Ton "
                                     "vergleichen"));
    connect(check, &QAction::toggled, this, [this](bool on) { setEnabled(on); });
    QMenu* inputs = menu.addMenu(QStringLiteral("Eingang für die Prüfung"));
    inputs->setObjectName(QStringLiteral("MNU_Eingang"));
    auto* group = new QActionGroup(inputs);
    inputs->setToolTipsVisible(true);
    // ALSA's inputs and the sound server's sources by their descriptions, as the outputs are.
    std::vector<platform::AlsaDevice> devices{{"", "Standardeingang"}};
    for (platform::AlsaDevice& device : platform::alsaCaptureDevices())
        devices.push_back(std::move(device));
    for (const platform::AlsaDevice& device : devices) {
        const std::string name = device.name;
        const QString text =
            QString::fromStdString(device.description.empty() ? name : device.description);
        QAction* action =
            inputs->addAction(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setToolTip(name.empty() ? QStringLiteral("default") : QString::fromStdString(name));
        action->setCheckable(true);
        action->setChecked(QString::fromStdString(name) == input_);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, name] { setInputName(QString::fromStdString(name)); });
    }
}

bool CableCheck::start(QString& message) {
    return recording_.start(input_.toStdString(), message);
}

bool CableCheck::recording() const {
    return recording_.recording();
}

SendCheck CableCheck::finish(const std::vector<ToneSegment>& sent) {
    return checkSend(sent, recording_.finish());
}

Recording CableCheck::finishRecording() {
    return recording_.finish();
}

void CableCheck::cancel() {
    recording_.cancel();
}

void showCheckReport(QWidget* parent, const std::vector<std::string>& lines) {
    QDialog report(parent);
    report.setObjectName(QStringLiteral("DLG_Pruefbericht"));
    report.setWindowTitle(QStringLiteral("Prüfbericht"));
    auto* layout = new QVBoxLayout(&report);
    auto* text = new QPlainTextEdit(&report);
    text->setReadOnly(true);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QString all;
    for (const std::string& line : lines)
        all += QString::fromStdString(line) + QLatin1Char('\n');
    text->setPlainText(all);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(&report);
    buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::RejectRole)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &report, &QDialog::reject);
    layout->addWidget(buttons);
    report.resize(640, 420);
    report.exec();
}
