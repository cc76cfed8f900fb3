// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the WAV reader as a whole file, then runs the decoder of
// `zuvela-cli decode` on what was read. Any crash, sanitizer report or broken invariant ends
// the run.
#include "DecodeCheck.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    Recording recording;
    try {
        recording = readWav(bytes);
    } catch (const RecordingError& e) {
        check(*e.what() != 0, "a reading error says why");
        return 0;
    }
    check(looksLikeWav(bytes), "only a RIFF/WAVE file is read as one");
    checkRecording(recording);
    checkDecode(recording);
    return 0;
}
