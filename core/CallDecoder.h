// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the five-tone calls of an alerting network from the tones of a recording: three to five
// tones back to back, each as long as the tone length of a system and each a tone of its row.
// The same tones can be different addresses in different systems; every reading is given, none
// is chosen.
#include "SequenceDecoder.h"
#include "ToneTable.h"

#include <cstdint>
#include <string>
#include <vector>

struct CallReading {
    std::string address;          // as the address field shows it, with 'R' and 'G'
    std::vector<uint8_t> systems; // the tone systems that read the tones so, in order
};

struct DecodedCall {
    double start = 0;      // seconds from the start of the recording
    double toneLength = 0; // measured mean, in ms
    std::vector<CallReading> readings;
};

// The calls among tones in time order; tones that form no call are left out.
std::vector<DecodedCall> findCalls(const std::vector<FoundTone>& found, const TToneTable& table);

// "0:01:02,35": a time in a recording of any length.
std::string callTime(double seconds);
