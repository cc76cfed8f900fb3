// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The decode command's work on a recording that was read, with the invariants of its result:
// found tones are finite and inside the recording; a decoded sequence carries settings in
// range that encode to exactly the tones reported, and the programming-data file that -o
// writes of them loads back to the same settings.
#include "FuzzCheck.h"

#include "Addresses.h"
#include "ProgDataFile.h"
#include "ProgEncoder.h"
#include "ProgListing.h"
#include "Recording.h"
#include "SequenceDecoder.h"

#include <cmath>

inline void checkRecording(const Recording& recording) {
    check(!recording.samples.empty(), "a recording that was read has samples");
    check(recording.sampleRate > 0, "a recording that was read has a rate");
    for (const float s : recording.samples)
        check(std::isfinite(s) && s >= -1 && s <= 1, "samples are finite and in full scale");
}

inline void checkDecode(const Recording& recording) {
    static const TToneTable table = [] {
        TToneTable t;
        fillToneTable(t);
        return t;
    }();
    std::vector<FoundTone> found;
    try {
        found = findTones(recording);
    } catch (const DecodeError& e) {
        check(*e.what() != 0, "a decode error says why");
        return;
    }
    const double duration = double(recording.samples.size()) / recording.sampleRate;
    for (const FoundTone& t : found) {
        check(std::isfinite(t.start) && std::isfinite(t.length) && std::isfinite(t.frequency),
              "found tones are finite");
        check(t.length >= 0 && t.start > -0.01 && t.start + t.length < duration + 0.01,
              "found tones lie inside the recording");
    }
    DecodedSequence d;
    try {
        d = decodeSequence(found, table);
    } catch (const DecodeError& e) {
        check(*e.what() != 0, "a decode error says why");
        return;
    }
    const ProgSettings& s = d.settings;
    check(s.tonsys >= 1 && s.tonsys <= 7 && s.toneLength() >= 1 && s.toneLength() <= 3 &&
              s.lenMode >= 1 && s.lenMode <= 2 && s.evaluator >= 1 && s.evaluator <= 3 &&
              s.switchMode >= 1 && s.switchMode <= 4,
          "decoded settings are in range");
    check(!checkAddresses(s.addresses, s.adresseLen()), "decoded addresses pass the check");
    check(EncodeProgTones(s, table) == d.tones, "decoded settings encode to the tones shown");
    check(progListingLines(d.tones).size() > 0, "the tones give a listing");
    const ProgSettings loaded = loadProgDataSettings(
        platform::ProfileFile::fromText(progDataProfile(s).text()), ProgSettings{});
    check(loaded == s, "the programming-data file of a decoded sequence loads back");
    check(EncodeProgTones(loaded, table) == d.tones,
          "the loaded file encodes to the decoded tones");
}
