// SPDX-License-Identifier: GPL-3.0-or-later
#include "CheckRecording.h"

#include "Audio.h"
#include "Recorder.h"
#include "WaveOutAlsa.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr uint16_t kRate = 44100;

} // namespace

CheckRecording::CheckRecording() = default;

CheckRecording::~CheckRecording() {
    cancel();
}

bool CheckRecording::start(const std::string& input, QString& message) {
    cancel();
    int32_t device = platform::WAVE_MAPPER;
    if (!input.empty() && input != "default") {
        const std::vector<std::string> names = platform::alsaCaptureDeviceNames();
        const auto found = std::find(names.begin(), names.end(), input);
        if (found == names.end()) {
            message = QStringLiteral("Das Eingangsgerät \"%1\" ist nicht vorhanden; es wird "
                                     "nichts gesendet.")
                          .arg(QString::fromStdString(input));
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
        // The component's text is its English prefix, a colon and the system's German text:
        // the user reads only the latter.
        QString cause = audio_->ErrorMessage;
        if (const qsizetype colon = cause.indexOf(QLatin1Char(':')); colon >= 0)
            cause = cause.mid(colon + 1).trimmed();
        message = QStringLiteral("Die Aufnahme für die Prüfung startet nicht: ") + cause +
                  QStringLiteral("; es wird nichts gesendet.");
        audio_.reset();
        return false;
    }
    return true;
}

Recording CheckRecording::finish() {
    if (audio_)
        audio_->Recorder->Stop();
    audio_.reset();
    return std::exchange(recording_, {});
}

void CheckRecording::cancel() {
    finish();
}
