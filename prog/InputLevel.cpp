// SPDX-License-Identifier: GPL-3.0-or-later
#include "InputLevel.h"

#include "Audio.h"
#include "FormStyle.h"
#include "SoundServer.h"
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

// The German names of the capture elements that cards and sound servers commonly have; a name
// not in the table is shown as the mixer gives it.
QString lineCaption(const QString& name) {
    static const std::pair<const char*, const char*> names[] = {
        {"Capture", "Aufnahme"},
        {"Mic", "Mikrofon"},
        {"Mic Boost", "Mikrofonverstärkung"},
        {"Front Mic", "Mikrofon vorn"},
        {"Front Mic Boost", "Mikrofonverstärkung vorn"},
        {"Rear Mic", "Mikrofon hinten"},
        {"Rear Mic Boost", "Mikrofonverstärkung hinten"},
        {"Internal Mic", "Eingebautes Mikrofon"},
        {"Internal Mic Boost", "Verstärkung des eingebauten Mikrofons"},
        {"Headset Mic", "Headset-Mikrofon"},
        {"Headset Mic Boost", "Headset-Mikrofonverstärkung"},
        {"Headphone Mic", "Kopfhörer-Mikrofon"},
        {"Line", "Line-Eingang"},
        {"Line Boost", "Line-Eingang-Verstärkung"},
        {"Input Source", "Eingangsquelle"},
        {"Digital", "Digitale Aufnahme"},
        {"Aux", "Aux-Eingang"},
        {"CD", "CD-Eingang"},
    };
    // ALSA numbers a second element of the same name: "Capture 1".
    QString base = name;
    QString index;
    if (const qsizetype space = name.lastIndexOf(u' ');
        space > 0 && !name.mid(space + 1).isEmpty() &&
        std::all_of(name.begin() + space + 1, name.end(), [](QChar c) { return c.isDigit(); })) {
        base = name.left(space);
        index = name.mid(space);
    }
    for (const auto& [english, german] : names)
        if (base == QLatin1String(english))
            return QString::fromUtf8(german) + index;
    return name;
}

// What the window is over: the source's description for a server's source, else the device's
// name.
QString deviceTitle(const std::string& control, const QString& deviceName) {
    const std::string source = platform::sourceOfAlsaName(control);
    if (source.empty())
        return deviceName;
    for (const platform::ServerSource& s : platform::soundServerSources().sources)
        if (s.name == source && !s.description.empty())
            return QString::fromStdString(s.description);
    return QString::fromStdString(source);
}

} // namespace

InputLevelWindow* InputLevelWindow::open(QWidget* parent, const QString& input, QString& message) {
    const std::string control = platform::alsaMixerControlOf(input.toStdString());
    auto* window = new InputLevelWindow(parent, platform::alsaWaveMixerOn({control}));
    if (!window->build(control)) {
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

bool InputLevelWindow::build(const std::string& control) {
    TMixerSettings& mixer = *audio_->Mixer;
    if (!mixer.Available() || !mixer.Lines())
        return false;
    auto* grid = new QGridLayout(this);
    for (const TMixDetails* line = mixer.Lines()->Next; line; line = line->Next) {
        if (line->Destination != kCapture || !line->HasControls)
            continue;
        Row row{line->Source};
        const int at = int(rows_.size());
        auto* caption = new QLabel(lineCaption(line->Name), this);
        caption->setObjectName(QStringLiteral("LBL_Zeile_%1").arg(line->Source));
        grid->addWidget(caption, at, 0);
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
    setWindowTitle(QStringLiteral("Eingangspegel – ") + deviceTitle(control, mixer.Lines()->Name));
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
