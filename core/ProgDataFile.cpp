// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgDataFile.h"

#include "OptionGroups.h"
#include "ProfileBool.h"

#include <stdexcept>

namespace {

std::string_view addressSection(int n) {
    if (n < 1 || n > 4)
        throw std::out_of_range("address number out of range");
    return progDataAddressSections[static_cast<std::size_t>(n - 1)];
}

} // namespace

namespace {
// The row of the option-group table that a group of section "A" stores.
const OptionGroup& rowOf(ProgDataGroup group) {
    switch (group) {
    case ProgDataGroup::Tonsys:
        return optionGroup(OptionGroupId::Tonsys);
    case ProgDataGroup::ToneLen:
        return optionGroup(OptionGroupId::LenMode);
    case ProgDataGroup::Evaluator:
        return optionGroup(OptionGroupId::Evaluator);
    case ProgDataGroup::SwitchMode:
        return optionGroup(OptionGroupId::SwitchMode);
    }
    throw std::invalid_argument("unknown option group");
}
} // namespace

std::string_view progDataKey(ProgDataGroup group) {
    return rowOf(group).fileKey;
}

int progDataOptionCount(ProgDataGroup group) {
    return rowOf(group).count;
}

platform::ProfileFile progDataProfile(const ProgSettings& settings) {
    platform::ProfileFile profile;
    const auto numeral = [](int v) { return std::to_string(v); };
    using G = ProgDataGroup;
    profile.writeString(progDataDeviceSection, progDataKey(G::Tonsys), numeral(settings.tonsys));
    profile.writeString(progDataDeviceSection, progDataKey(G::ToneLen), numeral(settings.lenMode));
    profile.writeString(progDataDeviceSection, progDataKey(G::Evaluator),
                        numeral(settings.evaluator));
    profile.writeString(progDataDeviceSection, progDataKey(G::SwitchMode),
                        numeral(settings.switchMode));
    // Writing "RP" first puts the checked addresses' sections before the others.
    for (std::size_t i = 0; i < settings.addresses.size(); ++i)
        if (settings.addresses[i].checked)
            profile.writeString(progDataAddressSections[i], "RP", "1");
    for (std::size_t i = 0; i < settings.addresses.size(); ++i)
        profile.writeString(progDataAddressSections[i], "AD", settings.addresses[i].text);
    return profile;
}

void saveProgDataFile(const ProgSettings& settings, const std::filesystem::path& file) {
    progDataProfile(settings).save(file);
}

std::string progDataFileName(std::string chosen) {
    if (!chosen.ends_with(".740"))
        chosen += ".740";
    return chosen;
}

ProgDataRead readProgDataFile(const std::filesystem::path& file, const std::string& name) {
    using P = platform::ProfileFile::LoadProblem;
    P problem = P::None;
    ProgDataRead read{platform::ProfileFile::load(file, progDataMaxFileSize, problem), {}};
    bool sections = read.profile.hasSection(progDataDeviceSection);
    for (std::string_view section : progDataAddressSections)
        sections = sections || read.profile.hasSection(section);
    const std::string quoted = "\"" + name + "\"";
    switch (problem) {
    case P::None:
        if (!sections)
            read.refusal = quoted + " enthält keine Programmierdaten (keinen der Abschnitte "
                                    "[A], [B I] … [B IV]).";
        break;
    case P::Missing:
        read.refusal = quoted + " ist nicht vorhanden.";
        break;
    case P::Folder:
        read.refusal = quoted + " ist ein Ordner, keine Datei mit Programmierdaten.";
        break;
    case P::NotAFile:
        read.refusal = quoted + " ist keine gewöhnliche Datei, sondern ein Gerät oder eine Pipe.";
        break;
    case P::TooLarge:
        read.refusal = quoted + " ist zu groß für Programmierdaten (mehr als 1 MiB).";
        break;
    case P::Unreadable:
        read.refusal = quoted + " kann nicht gelesen werden.";
        break;
    }
    if (!read.refusal.empty())
        read.refusal += "\nDie Datei wird nicht geladen, die Einstellungen bleiben, wie sie sind.";
    return read;
}

std::string progDataOptionValue(const platform::ProfileFile& profile, ProgDataGroup group, int n) {
    const std::string def = group == ProgDataGroup::Evaluator ? std::to_string(n) : "1";
    return profile.readString(progDataDeviceSection, progDataKey(group), def);
}

bool progDataSelectsOption(const platform::ProfileFile& profile, ProgDataGroup group, int n) {
    return progDataOptionValue(profile, group, n) == std::to_string(n);
}

bool progDataAddressChecked(const platform::ProfileFile& profile, int n) {
    return platform::strToBool(profile.readString(addressSection(n), "RP", "0"));
}

std::string progDataAddressText(const platform::ProfileFile& profile, int n) {
    return profile.readString(addressSection(n), "AD", "");
}

ProgSettings loadProgDataSettings(const platform::ProfileFile& profile, ProgSettings current) {
    for (ProgDataGroup group : progDataGroups) {
        for (int n = 1; n <= progDataOptionCount(group); ++n) {
            if (!progDataSelectsOption(profile, group, n))
                continue;
            const auto option = static_cast<uint8_t>(n);
            switch (group) {
            case ProgDataGroup::Tonsys:
                current.tonsys = option;
                current.toneLength = toneLengthButtonFor(option);
                break;
            case ProgDataGroup::ToneLen:
                current.lenMode = option;
                break;
            case ProgDataGroup::Evaluator:
                current.evaluator = option;
                current.adresseLen = adresseLenForEvaluator(option);
                break;
            case ProgDataGroup::SwitchMode:
                current.switchMode = option;
                break;
            }
        }
    }
    for (int n = 1; n <= 4; ++n)
        current.addresses[n - 1].checked = progDataAddressChecked(profile, n);
    for (int n = 1; n <= 4; ++n)
        current.addresses[n - 1].text = progDataAddressText(profile, n);
    return current;
}

namespace {

// No value holds a line break, so this default tells a missing key from any stored value.
constexpr std::string_view kMissing = "\n";

} // namespace

bool progDataPresent(const platform::ProfileFile& profile) {
    for (ProgDataGroup group : progDataGroups)
        if (profile.readString(progDataDeviceSection, progDataKey(group), kMissing) != kMissing)
            return true;
    for (std::string_view section : progDataAddressSections)
        for (std::string_view key : {"RP", "AD"})
            if (profile.readString(section, key, kMissing) != kMissing)
                return true;
    return false;
}

std::vector<std::string> progDataIgnoredValues(const platform::ProfileFile& profile) {
    std::vector<std::string> ignored;
    for (ProgDataGroup group : progDataGroups) {
        const std::string value =
            profile.readString(progDataDeviceSection, progDataKey(group), kMissing);
        if (value == kMissing)
            continue;
        bool selects = false;
        for (int n = 1; n <= progDataOptionCount(group); ++n)
            selects = selects || progDataSelectsOption(profile, group, n);
        if (!selects)
            ignored.push_back("[" + std::string(progDataDeviceSection) + "] " +
                              std::string(progDataKey(group)) + "=" + value +
                              " wird ignoriert (erlaubt: 1 bis " +
                              std::to_string(progDataOptionCount(group)) + ")");
    }
    return ignored;
}
