// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"
#include "WaveWriter.h"

#include <QFile>
#include <QIODevice>

using namespace platform;

TRecorder::TRecorder(TAudio* owner) : TAudioSettings(owner) {
    FRecorderWindow = new TMessageWindow([this](unsigned msg, uintptr_t, uintptr_t) {
        if (msg == MM_WIM_DATA && FOpen && FClosesPending == 0)
            requeue();
    });
}

TRecorder::~TRecorder() {
    finishFile();
}

void TRecorder::SetNoSamples(uint16_t value) {
    FOwner->writeNoSamples(value);
}

void TRecorder::SetSplitChannels(bool value) {
    FSplitChannels = FChannels == TChannels::Stereo ? value : false;
}

bool TRecorder::Record(const QString& FileName) {
    if (FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Recorder already open");
        return false;
    }
    if (FWaveFormat)
        for (const TAudioSlot& slot : FSlots)
            if (!slot.Header || !slot.Data || !slot.Half) {
                FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate Wave Buffer");
                return false;
            }
    FHead = 0;
    FTail = 0;
    const WaveResult rc = FOwner->waveIn().open(&FHandle, FOwner->AudioDeviceID(), FWaveFormat,
                                                FOwner->FComponentWindow, CALLBACK_WINDOW);
    if (rc != MMSYSERR_NOERROR) {
        FHandle = nullptr;
        failStart(QStringLiteral("Could not open the input device for recording: "), rc);
        return false;
    }
    FOpen = true;
    ++FDeviceSerial;
    for (TAudioSlot& slot : FSlots) {
        *slot.Header = WaveHdr{};
        slot.Header->lpData = slot.Data;
        slot.Header->dwBufferLength = FBufferSize;
        WaveResult step = FOwner->waveIn().prepareHeader(FHandle, slot.Header, sizeof(WaveHdr));
        if (step != MMSYSERR_NOERROR) {
            failStart(QStringLiteral("Error preparing header for recording: "), step);
            return false;
        }
        step = FOwner->waveIn().addBuffer(FHandle, slot.Header, sizeof(WaveHdr));
        if (step != MMSYSERR_NOERROR) {
            failStart(QStringLiteral("Error adding input buffer"), step);
            return false;
        }
    }
    // Created once the device is ready, so that a failure before leaves no file behind.
    if (!FileName.isEmpty() && !createFile(FileName)) {
        abandonStart();
        return false;
    }
    const WaveResult started = FOwner->waveIn().start(FHandle);
    if (started != MMSYSERR_NOERROR) {
        failStart(QStringLiteral("Error starting recording: "), started);
        return false;
    }
    return true;
}

void TRecorder::failStart(const QString& prefix, WaveResult code) {
    FOwner->setWaveInError(prefix, code);
    abandonStart();
}

// A start that failed half-way closes what it opened; its own text is the one that stays.
void TRecorder::abandonStart() {
    const QString text = FOwner->ErrorMessage;
    FActive = false;
    if (FOpen)
        closeDevice();
    finishFile(); // a wave file without data
    FOwner->ErrorMessage = text;
}

void TRecorder::recordedData() {
    const TAudioSlot& slot = FSlots[FTail];
    if (!slot.Header)
        return;
    uint8_t* LP = slot.Data;
    uint8_t* RP = slot.Half;
    auto BufferSize = static_cast<uint16_t>(slot.Header->dwBytesRecorded);
    const unsigned serial = FDeviceSerial;
    if (triggerTest(LP, BufferSize)) {
        appendToFile(LP, BufferSize); // the raw frames, before a split
        if (FOwner->OnRecord) {
            if (FSplitChannels) {
                splitChannels(LP, RP, BufferSize);
                FOwner->OnRecord(FOwner, LP, RP, BufferSize);
            } else {
                FOwner->OnRecord(FOwner, LP, nullptr, BufferSize);
            }
        }
    }
    // OnRecord may have stopped the recorder, or even started a new recording.
    if (!FOpen || serial != FDeviceSerial)
        return;
    // A buffer that came back empty (as after a reset) is not handed back.
    if (BufferSize > 0) {
        FRecorderWindow->post(MM_WIM_DATA);
        FTail = static_cast<uint8_t>((FTail + 1) % 4);
    }
}

// Latches: once a buffer reached the level, every following one passes.
bool TRecorder::triggerTest(const uint8_t* data, uint16_t size) {
    if (Triggered)
        return true;
    if (size == 0)
        return Triggered;
    const auto level = static_cast<int16_t>(FTrigLevel);
    bool result = false;
    if (FBitsPerSample == TBPS::_8) {
        for (uint16_t i = 0; i < size && !result; ++i)
            result = data[i] >= level;
    } else {
        for (uint16_t i = 0; i < size / 2 && !result; ++i) {
            int16_t sample;
            std::memcpy(&sample, data + 2 * i, 2);
            result = sample >= level;
        }
    }
    Triggered = result;
    return result;
}

// Left channel compacted in place at the start of the data buffer, right into the half buffer.
void TRecorder::splitChannels(uint8_t* left, uint8_t* right, uint16_t& size) const {
    if (size == 0)
        return;
    size = static_cast<uint16_t>(size / 2);
    if (FBitsPerSample == TBPS::_8) {
        for (uint16_t i = 0; i < size; ++i) {
            right[i] = left[2 * i + 1];
            left[i] = left[2 * i];
        }
    } else {
        for (uint16_t i = 0; i < size / 2; ++i) {
            std::memcpy(right + 2 * i, left + 4 * i + 2, 2);
            std::memmove(left + 2 * i, left + 4 * i, 2);
        }
    }
}

void TRecorder::requeue() {
    WaveHdr* header = FSlots[FHead].Header;
    const WaveResult rc = FOwner->waveIn().addBuffer(FHandle, header, sizeof(WaveHdr));
    if (rc == MMSYSERR_NOERROR) {
        FHead = static_cast<uint8_t>((FHead + 1) % 4);
        return;
    }
    Stop();
    FOwner->setWaveInError(QStringLiteral("Error adding input buffer"), rc);
}

bool TRecorder::closeDevice() {
    if (!FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Recorder already closed");
        return true;
    }
    WaveIn& waveIn = FOwner->waveIn();
    if (waveIn.reset(FHandle) != MMSYSERR_NOERROR) {
        FOwner->ErrorMessage = QStringLiteral("Error in waveInReset");
        return false;
    }
    for (TAudioSlot& slot : FSlots) {
        const WaveResult rc = waveIn.unprepareHeader(FHandle, slot.Header, sizeof(WaveHdr));
        if (rc != MMSYSERR_NOERROR) {
            FOwner->setWaveInError(QStringLiteral("Error in waveInUnprepareHeader"), rc);
            return false;
        }
    }
    if (waveIn.close(FHandle) != MMSYSERR_NOERROR) {
        FOwner->ErrorMessage = QStringLiteral("Error closing input device");
        return false;
    }
    FHandle = nullptr;
    FOpen = false;
    ++FClosesPending;
    return true;
}

bool TRecorder::Stop() {
    FActive = false; // recorded-data notifications still queued are ignored
    const bool closed = closeDevice();
    finishFile();
    return closed;
}

bool TRecorder::createFile(const QString& name) {
    const WaveFormatEx* f = FWaveFormat; // present: the device opened with it
    auto file = std::make_unique<QFile>(name);
    // Unbuffered, so that a failing write is known at once.
    if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        FOwner->ErrorMessage =
            QStringLiteral("Cannot create file \"%1\". %2").arg(name, file->errorString());
        return false;
    }
    // The lengths of an empty recording; finishFile writes the header again at the end.
    FRecordFormat = {f->nChannels, f->wBitsPerSample, f->nSamplesPerSec};
    const std::string header = waveFileHeader(FRecordFormat, 36, 0);
    if (file->write(header.data(), qint64(header.size())) != qint64(header.size())) {
        FOwner->ErrorMessage =
            QStringLiteral("Cannot write file \"%1\". %2").arg(name, file->errorString());
        return false;
    }
    FRecordFile = std::move(file);
    return true;
}

void TRecorder::appendToFile(const uint8_t* data, uint16_t size) {
    if (!FRecordFile || size == 0)
        return;
    if (FRecordFile->write(reinterpret_cast<const char*>(data), size) != size) {
        // Recording goes on; the file keeps what was written before.
        const QString text = QStringLiteral("Cannot write file \"%1\". %2")
                                 .arg(FRecordFile->fileName(), FRecordFile->errorString());
        finishFile();
        FOwner->ErrorMessage = text;
    }
}

// Writes the header again with the RIFF length (file size - 8) and the data length (file
// size - 44), and closes the file.
void TRecorder::finishFile() {
    if (!FRecordFile)
        return;
    const qint64 size = FRecordFile->size();
    const std::string header = waveFileHeader(FRecordFormat, static_cast<uint32_t>(size - 8),
                                              static_cast<uint32_t>(size - 44));
    FRecordFile->seek(0);
    FRecordFile->write(header.data(), qint64(header.size()));
    FRecordFile->close();
    FRecordFile.reset();
}
