// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming-data file (".740"): the main window's settings as profile entries.
// Saving is "collect the settings, build the profile, save it safely". The window loads by
// selecting options step by step and reads each key through the helpers below, so that every
// read uses the loader's own default; loadProgDataSettings does the same without a window.
#include "ProfileFile.h"
#include "ProgEncoder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view progDataDeviceSection = "A";
// Section of address 1 to 4 (index 0 to 3).
inline constexpr std::array<std::string_view, 4> progDataAddressSections = {"B I", "B II", "B III",
                                                                            "B IV"};

// The option groups of section "A", in the order the loader reads them.
enum class ProgDataGroup { Tonsys, ToneLen, Evaluator, SwitchMode };
inline constexpr std::array<ProgDataGroup, 4> progDataGroups = {
    ProgDataGroup::Tonsys, ProgDataGroup::ToneLen, ProgDataGroup::Evaluator,
    ProgDataGroup::SwitchMode};

std::string_view progDataKey(ProgDataGroup group); // "TS", "TL", "AW", "SM"
int progDataOptionCount(ProgDataGroup group);      // 7, 2, 3, 4
// (both from the option-group table, OptionGroups.h)

// The profile the settings give, written key by key: "TS", "TL", "AW", "SM" in "A"; "RP=1" for
// each checked address in address order; then "AD" of each address, empty ones included.
platform::ProfileFile progDataProfile(const ProgSettings& settings);

// Writes the settings to file safely; throws platform::ProfileWriteError, whose message is
// "Unable to write to <full name>". An old file is replaced only by a complete new one.
void saveProgDataFile(const ProgSettings& settings, const std::filesystem::path& file);

// The name to save under: ".740" is appended unless the name ends in exactly ".740".
std::string progDataFileName(std::string chosen);

// A real programming-data file is a few hundred bytes; a larger one is something else. The one
// limit for every front-end.
inline constexpr std::uintmax_t progDataMaxFileSize = 1024 * 1024;

// Why a file is not loaded. The first two are found in its bytes, the others by the file system.
enum class ProgDataProblem { None, NoSections, TooLarge, Missing, Folder, NotAFile, Unreadable };

// The German message that refuses a file, whole lines: "<shown> enthält keine Programmierdaten."
// and so on, then what the refusal means. shown names the file as the front-end does: the
// windows and the page quote it (progDataQuoted), zuvela-cli says "Die Datei NAME".
std::string progDataRefusal(ProgDataProblem problem, const std::string& shown);
std::string progDataQuoted(const std::string& name); // "\"NAME\""

// A file read for loading: its profile, or the message that refuses it.
struct ProgDataRead {
    platform::ProfileFile profile;
    std::string refusal; // empty when the file loads
};
// The one rule for what is programming data: at most progDataMaxFileSize bytes, holding at
// least one of the sections "A", "B I" ... "B IV". Anything else (binary junk, a picture, an
// empty file) would load as the loader's defaults and wipe the user's settings.
ProgDataRead readProgDataBytes(std::string_view bytes, const std::string& shown);
// The same for a file on disk, read only when it is a regular file within the limit: a folder,
// a device or pipe, a missing or unreadable file are refused too. name is quoted in the message.
ProgDataRead readProgDataFile(const std::filesystem::path& file, const std::string& name);

// The value the loader compares with option n (1-based) of group: a fresh read of its key with
// the loader's default ("1"; for the evaluator n itself, so a missing "AW" ends on "3 Ton").
std::string progDataOptionValue(const platform::ProfileFile& profile, ProgDataGroup group, int n);
// Whether the loader selects option n: the value is exactly the numeral n ("01", "+1" are not).
bool progDataSelectsOption(const platform::ProfileFile& profile, ProgDataGroup group, int n);

// Whether address n (1 to 4) is checked: "RP" with the default "0", as a Boolean. Throws
// platform::BooleanConversionError ("'x' is not a valid boolean value") for any other value.
bool progDataAddressChecked(const platform::ProfileFile& profile, int n);
// The text of address n (1 to 4): "AD" with an empty default, unchanged.
std::string progDataAddressText(const platform::ProfileFile& profile, int n);

// The settings that loading the profile gives, starting from current, by the window's rules:
// an option is selected only when its key holds exactly its numeral (the tone-length button and
// `AdresseLen` follow as the click handlers set them, another evaluator cuts the texts), the
// addresses' boxes and texts are always replaced. Throws platform::BooleanConversionError as
// the window's loader does.
ProgSettings loadProgDataSettings(const platform::ProfileFile& profile, ProgSettings current);

// A file's bytes loaded into the current settings, as every front-end loads them.
struct ProgDataLoad {
    ProgSettings settings; // current when refused; else as far as loading went
    std::string refusal;   // no programming data: nothing changed
    std::string stopped;   // a value that is no Boolean stopped the loading there, as in
                           // the window (options and the boxes before it are set)
    platform::ProfileFile profile;
};
ProgDataLoad loadProgDataBytes(std::string_view bytes, const ProgSettings& current,
                               const std::string& shown);

// The values of section "A" that loading ignores because they select no option, as German
// texts such as "[A] TS=9 wird ignoriert (erlaubt: 1 bis 7)".
std::vector<std::string> progDataIgnoredValues(const platform::ProfileFile& profile);
