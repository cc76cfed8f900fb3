// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recorder: four buffers cycling through the input device, optionally into a wave file.
#include "AudioSettings.h"
#include "MessageWindow.h"
#include "WaveIn.h"
#include "WaveWriter.h"

#include <QString>

#include <memory>

class QFile;

class TRecorder : public TAudioSettings {
public:
    explicit TRecorder(TAudio* owner);
    ~TRecorder() override;

    // Changes player and recorder alike.
    void SetNoSamples(uint16_t value);
    bool SplitChannels() const { return FSplitChannels; }
    // Stays False unless the recorder is Stereo.
    void SetSplitChannels(bool value);
    uint16_t TrigLevel() const { return FTrigLevel; }
    void SetTrigLevel(uint16_t value) { FTrigLevel = value; }
    bool Triggered = false;

    // Opens the input device AudioDeviceID with the recorder's format, queues the four
    // buffers in slot order and starts recording; with a FileName, each triggered buffer is
    // also appended to that wave file (44-byte header, sizes completed by Stop). False, with
    // ErrorMessage, when recording could not start; nothing is left open then (a file created
    // just before a failing start keeps a header and no data).
    bool Record(const QString& FileName = QString());
    // Ends recording and closes the input device; true when it is closed afterwards. Data
    // still on its way is dropped. Finishes the recording file.
    bool Stop();

    bool IsRecordingToFile() const { return FRecordFile != nullptr; }

private:
    friend class TAudio;
    void recordedData();
    bool triggerTest(const uint8_t* data, uint16_t size);
    void splitChannels(uint8_t* left, uint8_t* right, uint16_t& size) const;
    void requeue();
    bool closeDevice();
    bool createFile(const QString& name);
    void appendToFile(const uint8_t* data, uint16_t size);
    void finishFile();
    void failStart(const QString& prefix, platform::WaveResult code);
    void abandonStart();

    bool FSplitChannels = false;
    uint16_t FTrigLevel = 0;
    TMessageWindow* FRecorderWindow = nullptr;
    platform::HWaveIn FHandle = nullptr;
    std::unique_ptr<QFile> FRecordFile;
    PcmFormat FRecordFormat; // of the recording file's header
    // Devices closed whose close notification has not come yet: whatever is handled before
    // it belongs to a closed device (one device's notifications come in order, and all of
    // them before the next device's).
    int FClosesPending = 0;
    unsigned FDeviceSerial = 0; // counts opens, so that a handler can tell a new device
};
