// SPDX-License-Identifier: GPL-3.0-or-later
#include "CableCheck.h"

#include "Audio.h"
#include "Recorder.h"
#include "WaveOutAlsa.h"

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
constexpr uint16_t kRate = 44100;

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
    std::vector<std::string> names{""};
    for (const std::string& name : platform::alsaCaptureDeviceNames())
        if (name != "default")
            names.push_back(name);
    for (const std::string& name : names) {
        const QString text =
            name.empty() ? QStringLiteral("Standardeingang") : QString::fromStdString(name);
        QAction* action =
            inputs->addAction(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setCheckable(true);
        action->setChecked(QString::fromStdString(name) == input_);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, name] { setInputName(QString::fromStdString(name)); });
    }
}

bool CableCheck::start(QString& message) {
    cancel();
    int32_t device = platform::WAVE_MAPPER;
    if (!input_.isEmpty()) {
        const std::vector<std::string> names = platform::alsaCaptureDeviceNames();
        const auto found = std::find(names.begin(), names.end(), input_.toStdString());
        if (found == names.end()) {
            message = QStringLiteral("Das Eingangsgerät \"%1\" ist nicht vorhanden; es wird "
                                     "nichts gesendet.")
                          .arg(input_);
            return false;
        }
        device = static_cast<int32_t>(found - names.begin());
    }
    audio_ = std::make_unique<TAudio>(nullptr);
    audio_->SetAudioDeviceID(device);
    TRecorder& recorder = *audio_->Recorder;
    recorder.SetChannels(TChannels::Mono);
    recorder.SetBitsPerSample(TBPS::_16);
    recorder.SetSampleRate(kRate);
    recording_ = Recording{kRate, {}};
    audio_->OnRecord = [this](TObject*, void* data, void*, uint16_t bytes) {
        const auto* values = static_cast<const int16_t*>(data);
        for (uint16_t i = 0; i < bytes / 2; ++i)
            recording_.samples.push_back(float(values[i]) / 32768.0f);
    };
    if (!recorder.Record()) {
        message = QStringLiteral("Die Aufnahme für die Prüfung startet nicht: ") +
                  audio_->ErrorMessage + QStringLiteral("; es wird nichts gesendet.");
        audio_.reset();
        return false;
    }
    return true;
}

bool CableCheck::recording() const {
    return audio_ != nullptr;
}

SendCheck CableCheck::finish(const std::vector<ToneSegment>& sent) {
    if (audio_)
        audio_->Recorder->Stop();
    audio_.reset();
    return checkSend(sent, std::exchange(recording_, {}));
}

void CableCheck::cancel() {
    if (audio_)
        audio_->Recorder->Stop();
    audio_.reset();
    recording_ = {};
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
