// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the profile reader as a programming-data file, runs the reads the
// loader performs and the Boolean conversion, and checks that writing what was read gives it
// back. Any crash, sanitizer report or broken invariant ends the run.
#include "ProfileBool.h"
#include "ProgDataFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The loader's steps on a start-up window; false when the Boolean error stops it.
bool load(const platform::ProfileFile& profile, ProgSettings& s) {
    int tonsys = s.tonsys;
    int* const group[] = {&tonsys, &s.lenMode, &s.evaluator, &s.switchMode};
    for (std::size_t g = 0; g < progDataGroups.size(); ++g)
        for (int n = 1; n <= progDataOptionCount(progDataGroups[g]); ++n)
            if (progDataSelectsOption(profile, progDataGroups[g], n))
                *group[g] = n;
    s.tonsys = static_cast<uint8_t>(tonsys);
    for (int n = 1; n <= 4; ++n) {
        const std::string value =
            profile.readString(progDataAddressSections[static_cast<std::size_t>(n - 1)], "RP", "0");
        const auto expected = platform::tryStrToBool(value);
        try {
            s.addresses[static_cast<std::size_t>(n - 1)].checked =
                progDataAddressChecked(profile, n);
            check(expected.has_value(), "conversion succeeded where tryStrToBool failed");
        } catch (const platform::BooleanConversionError& e) {
            check(!expected, "conversion failed where tryStrToBool succeeded");
            check(std::string(e.what()) == "'" + value + "' is not a valid boolean value",
                  "Boolean error message");
            return false;
        }
    }
    for (int n = 1; n <= 4; ++n)
        s.addresses[static_cast<std::size_t>(n - 1)].text = progDataAddressText(profile, n);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::ProfileFile profile = platform::ProfileFile::fromText(text);

    // Writing the profile out and reading it again changes nothing the loader sees.
    const platform::ProfileFile rewritten = platform::ProfileFile::fromText(profile.text());
    ProgSettings first, second;
    const bool loaded = load(profile, first);
    check(load(rewritten, second) == loaded && first == second, "rewritten profile reads alike");

    // Saving what was loaded and loading it again gives the same settings.
    if (loaded) {
        // Nothing but what these steps leave untouched carries over.
        ProgSettings again{.tonsys = 0,
                           .lenMode = 0,
                           .evaluator = 0,
                           .switchMode = 0,
                           .addresses = {}};
        check(load(progDataProfile(first), again) && again == first, "settings round trip");
    }

    // The Boolean conversion of raw bytes agrees with itself.
    const auto value = platform::tryStrToBool(text);
    bool threw = false;
    bool result = false;
    try {
        result = platform::strToBool(text);
    } catch (const platform::BooleanConversionError&) {
        threw = true;
    }
    check(threw != value.has_value() && (threw || result == *value),
          "strToBool agrees with tryStrToBool");

    // Writing into whatever structure the input has, then reading, gives the value written.
    std::string written(text.substr(0, 64));
    for (char& c : written)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    for (const std::string_view section : {"A", "B I", "b iv"}) {
        profile.writeString(section, "AD", written);
        check(profile.readString(section, "AD", "-") == written, "written value reads back");
        check(platform::ProfileFile::fromText(profile.text()).readString(section, "AD", "-") ==
                  written,
              "written value reads back from text");
    }
    return 0;
}
