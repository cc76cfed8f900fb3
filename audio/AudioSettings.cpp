// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include <new>

using namespace platform;

TAudioSettings::TAudioSettings(TAudio* owner) : FOwner(owner) {}

TAudioSettings::~TAudioSettings() {
    FreeBuffers();
}

void TAudioSettings::SetBitsPerSample(TBPS value) {
    FOwner->writeFormat(this, TAudio::FormatField::BitsPerSample, static_cast<int>(value));
}

void TAudioSettings::SetChannels(TChannels value) {
    FOwner->writeFormat(this, TAudio::FormatField::Channels, static_cast<int>(value));
}

void TAudioSettings::SetSampleRate(uint16_t value) {
    FOwner->writeFormat(this, TAudio::FormatField::SampleRate, value);
}

uint16_t TAudioSettings::blockAlign(TChannels channels, TBPS bits) const {
    const uint16_t nChannels = channels == TChannels::Mono ? 1 : 2;
    return bits == TBPS::_8 ? nChannels : static_cast<uint16_t>(2 * nChannels);
}

bool TAudioSettings::AllocateBuffers() {
    FWaveFormat = new (std::nothrow) WaveFormatEx{};
    if (!FWaveFormat) {
        FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate WaveFormat");
        return false;
    }
    WaveFormatEx& f = *FWaveFormat;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.wBitsPerSample = FBitsPerSample == TBPS::_8 ? 8 : 16;
    f.cbSize = 0;
    f.nChannels = FChannels == TChannels::Mono ? 1 : 2;
    f.nSamplesPerSec = FSampleRate;
    f.nBlockAlign = blockAlign(FChannels, FBitsPerSample);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    // 16 bits wide; the setters refuse products that would wrap.
    FBufferSize = static_cast<uint16_t>(FNoSamples * f.nBlockAlign);
    for (TAudioSlot& slot : FSlots) {
        slot.Header = new (std::nothrow) WaveHdr{};
        if (!slot.Header) {
            FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate WaveHeader");
            return false;
        }
        slot.Data = new (std::nothrow) uint8_t[FBufferSize];
        slot.DataSize = slot.Data ? FBufferSize : 0;
        slot.Half = slot.Data ? new (std::nothrow) uint8_t[FBufferSize / 2] : nullptr;
        slot.HalfSize = slot.Half ? FBufferSize / 2 : 0;
        if (!slot.Data || !slot.Half) {
            FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate Wave Buffer");
            return false;
        }
        slot.Header->lpData = slot.Data;
    }
    return true;
}

void TAudioSettings::FreeBuffers() {
    if (!FWaveFormat)
        return;
    delete FWaveFormat;
    FWaveFormat = nullptr;
    for (TAudioSlot& slot : FSlots) {
        delete[] slot.Data;
        delete[] slot.Half;
        delete slot.Header;
        slot = TAudioSlot{};
    }
}
