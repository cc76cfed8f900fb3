// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgDataFile.h"

#include "Addresses.h"
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

std::string progDataQuoted(const std::string& name) {
    return "\"" + name + "\"";
}

std::string progDataRefusal(ProgDataProblem problem, const std::string& shown) {
    std::string text;
    switch (problem) {
    case ProgDataProblem::None:
        return {};
    case ProgDataProblem::NoSections:
        text = shown + " enthält keine Programmierdaten.\nKeiner der Abschnitte [A], [B I] … "
                       "[B IV] steht darin.";
        break;
    case ProgDataProblem::TooLarge:
        text = shown + " ist zu groß für Programmierdaten (mehr als 1 MiB).";
        break;
    case ProgDataProblem::Missing:
        text = shown + " ist nicht vorhanden.";
        break;
    case ProgDataProblem::Folder:
        text = shown + " ist ein Ordner, keine Datei mit Programmierdaten.";
        break;
    case ProgDataProblem::NotAFile:
        text = shown + " ist keine gewöhnliche Datei, sondern ein Gerät oder eine Pipe.";
        break;
    case ProgDataProblem::Unreadable:
        text = shown + " kann nicht gelesen werden.";
        break;
    }
    return text + "\nDie Datei wird nicht geladen, die Einstellungen bleiben, wie sie sind.";
}

namespace {

bool holdsProgDataSections(const platform::ProfileFile& profile) {
    bool sections = profile.hasSection(progDataDeviceSection);
    for (std::string_view section : progDataAddressSections)
        sections = sections || profile.hasSection(section);
    return sections;
}

} // namespace

ProgDataRead readProgDataBytes(std::string_view bytes, const std::string& shown) {
    if (bytes.size() > progDataMaxFileSize)
        return {{}, progDataRefusal(ProgDataProblem::TooLarge, shown)};
    ProgDataRead read{platform::ProfileFile::fromText(bytes), {}};
    if (!holdsProgDataSections(read.profile))
        return {{}, progDataRefusal(ProgDataProblem::NoSections, shown)};
    return read;
}

ProgDataRead readProgDataFile(const std::filesystem::path& file, const std::string& name) {
    using P = platform::ProfileFile::LoadProblem;
    P problem = P::None;
    ProgDataRead read{platform::ProfileFile::load(file, progDataMaxFileSize, problem), {}};
    const ProgDataProblem why = [&] {
        switch (problem) {
        case P::None:
            return holdsProgDataSections(read.profile) ? ProgDataProblem::None
                                                       : ProgDataProblem::NoSections;
        case P::Missing:
            return ProgDataProblem::Missing;
        case P::Folder:
            return ProgDataProblem::Folder;
        case P::NotAFile:
            return ProgDataProblem::NotAFile;
        case P::TooLarge:
            return ProgDataProblem::TooLarge;
        case P::Unreadable:
            break;
        }
        return ProgDataProblem::Unreadable;
    }();
    read.refusal = progDataRefusal(why, progDataQuoted(name));
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

namespace {

// Loads step by step into s, so that s holds what was loaded when a value throws.
void applyProgData(const platform::ProfileFile& profile, ProgSettings& s) {
    for (ProgDataGroup group : progDataGroups) {
        for (int n = 1; n <= progDataOptionCount(group); ++n) {
            if (!progDataSelectsOption(profile, group, n))
                continue;
            const auto option = static_cast<uint8_t>(n);
            switch (group) {
            case ProgDataGroup::Tonsys:
                s.tonsys = option;
                break;
            case ProgDataGroup::ToneLen:
                s.lenMode = option;
                break;
            case ProgDataGroup::Evaluator:
                // As its click: another evaluator cuts the texts, the same one does nothing.
                if (option != s.evaluator)
                    for (AddressSlot& a : s.addresses)
                        a.text = cutAddress(a.text, adresseLenForEvaluator(option));
                s.evaluator = option;
                break;
            case ProgDataGroup::SwitchMode:
                s.switchMode = option;
                break;
            }
        }
    }
    for (int n = 1; n <= 4; ++n)
        s.addresses[n - 1].checked = progDataAddressChecked(profile, n);
    for (int n = 1; n <= 4; ++n)
        s.addresses[n - 1].text = progDataAddressText(profile, n);
}

} // namespace

ProgSettings loadProgDataSettings(const platform::ProfileFile& profile, ProgSettings current) {
    applyProgData(profile, current);
    return current;
}

ProgDataLoad loadProgDataBytes(std::string_view bytes, const ProgSettings& current,
                               const std::string& shown) {
    ProgDataRead read = readProgDataBytes(bytes, shown);
    ProgDataLoad load{current, std::move(read.refusal), {}, std::move(read.profile)};
    if (!load.refusal.empty())
        return load;
    try {
        applyProgData(load.profile, load.settings);
    } catch (const platform::BooleanConversionError& e) {
        load.stopped = e.what();
    }
    return load;
}

namespace {

// No value holds a line break, so this default tells a missing key from any stored value.
constexpr std::string_view kMissing = "\n";

} // namespace

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
