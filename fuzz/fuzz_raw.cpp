// SPDX-License-Identifier: GPL-3.0-or-later
// Raw recordings as `zuvela-cli decode FILE --rate HZ` reads them: the first four bytes
// (little-endian) choose the rate among those --rate allows, the rest are the file's bytes,
// unsigned 8-bit samples. The decoder runs on what was read. Any crash, sanitizer report or
// broken invariant ends the run.
#include "DecodeCheck.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const uint32_t choice = data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24;
    const double rate = 6000 + choice % (1000000 - 6000 + 1);
    const std::span<const uint8_t> bytes(data + 4, size - 4);
    Recording recording;
    try {
        recording = readRaw8(bytes, rate);
    } catch (const RecordingError& e) {
        check(bytes.empty(), "only an empty raw file is refused");
        return 0;
    }
    check(recording.samples.size() == bytes.size(), "one sample per byte");
    checkRecording(recording);
    checkDecode(recording);
    return 0;
}
