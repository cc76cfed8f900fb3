// SPDX-License-Identifier: GPL-3.0-or-later
#include "InputLevel.h"

#include "Audio.h"
#include "FormStyle.h"
#include "WaveMixer.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace {

// The capture side of the mixer layer.
constexpr uint16_t kCapture = 1;

int percentOf(uint16_t volume) {
    return int(std::lround(volume * 100.0 / 65535));
}

uint16_t volumeOf(int percent) {
    return uint16_t(std::lround(percent * 65535.0 / 100));
}

} // namespace

InputLevelWindow* InputLevelWindow::open(QWidget* parent, const QString& input, QString& message) {
    const std::string control = platform::alsaMixerControlOf(input.toStdString());
    auto* window = new InputLevelWindow(parent, platform::alsaWaveMixerOn({control}));
    if (!window->build()) {
        delete window;
        message = QStringLiteral("Für den Eingang \"%1\" gibt es keinen Mixer, über den sich "
                                 "sein Pegel einstellen ließe (Steuergerät \"%2\").")
                      .arg(input.isEmpty() ? QStringLiteral("Standardeingang") : input,
                           QString::fromStdString(control));
        return nullptr;
    }
    return window;
}

InputLevelWindow::InputLevelWindow(QWidget* parent, std::unique_ptr<platform::WaveMixer> layer)
    : QDialog(parent), layer_(std::move(layer)) {
    setObjectName(QStringLiteral("DLG_Eingangspegel"));
    setAttribute(Qt::WA_DeleteOnClose);
    audio_ = std::make_unique<TAudio>(nullptr, TAudio::Layers{nullptr, nullptr, layer_.get()});
}

// The component goes before the layer it talks to.
InputLevelWindow::~InputLevelWindow() {
    audio_.reset();
}

bool InputLevelWindow::build() {
    TMixerSettings& mixer = *audio_->Mixer;
    if (!mixer.Available() || !mixer.Lines())
        return false;
    auto* grid = new QGridLayout(this);
    for (const TMixDetails* line = mixer.Lines()->Next; line; line = line->Next) {
        if (line->Destination != kCapture || !line->HasControls)
            continue;
        Row row{line->Source};
        const int at = int(rows_.size());
        grid->addWidget(new QLabel(line->Name, this), at, 0);
        const QString name = QStringLiteral("_%1").arg(line->Source);
        if (line->VolumeControlID != 0xFFFF) {
            row.level = new QSlider(Qt::Horizontal, this);
            row.level->setObjectName(QStringLiteral("BAR_Pegel") + name);
            row.level->setRange(0, 100);
            row.level->setMinimumWidth(160);
            row.value = new QLabel(this);
            row.value->setObjectName(QStringLiteral("LBL_Pegel") + name);
            row.value->setMinimumWidth(40);
            grid->addWidget(row.level, at, 1);
            grid->addWidget(row.value, at, 2);
            const uint16_t source = line->Source;
            connect(row.level, &QSlider::valueChanged, this, [this, source](int percent) {
                runHandler([&] {
                    const uint16_t volume = volumeOf(percent);
                    if (!audio_->Mixer->SetVolume(kCapture, source, volume, volume))
                        audio_->Mixer->ReadLine(kCapture, source);
                    follow(kCapture, source);
                });
            });
        }
        if (line->MuteControlID != 0xFFFF) {
            row.on = new QCheckBox(QStringLiteral("an"), this);
            row.on->setObjectName(QStringLiteral("CHK_Pegel") + name);
            grid->addWidget(row.on, at, 3);
            const uint16_t source = line->Source;
            connect(row.on, &QCheckBox::toggled, this, [this, source](bool on) {
                runHandler([&] {
                    if (!audio_->Mixer->SetMuted(kCapture, source, !on))
                        audio_->Mixer->ReadLine(kCapture, source);
                    follow(kCapture, source);
                });
            });
        }
        rows_.push_back(row);
        showRow(row);
    }
    if (rows_.empty())
        return false;
    setWindowTitle(QStringLiteral("Eingangspegel – ") + mixer.Lines()->Name);
    // The mixer names the control and then its line; the line is what a row shows.
    audio_->OnMixerChange = [this](TObject*, uint16_t destination, uint16_t source) {
        if (destination == kCapture && audio_->Mixer->ReadLine(destination, source))
            follow(destination, source);
    };
    return true;
}

void InputLevelWindow::follow(uint16_t destination, uint16_t source) {
    for (const Row& row : rows_)
        if (destination == kCapture && row.source == source)
            showRow(row);
}

void InputLevelWindow::showRow(const Row& row) {
    const TMixDetails* line = audio_->Mixer->Line(kCapture, row.source);
    if (!line)
        return;
    // Set without calling back into the mixer.
    if (row.level) {
        const QSignalBlocker block(row.level);
        const int percent = percentOf(
            line->UniformVolume ? line->VolumeLeft : std::max(line->VolumeLeft, line->VolumeRight));
        row.level->setValue(percent);
        row.value->setText(QStringLiteral("%1 %").arg(percent));
    }
    if (row.on) {
        const QSignalBlocker block(row.on);
        row.on->setChecked(!line->Muted);
    }
}
