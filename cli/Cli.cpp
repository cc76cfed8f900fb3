// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"

#include "Addresses.h"
#include "Cp1252.h"
#include "OptionGroups.h"
#include "ProfileBool.h"
#include "ProgEngine.h"
#include "SystemErrorText.h"
#include "ToneTable.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace cli {

bool parseNumber(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

namespace {

const OptionGroup& systems() {
    return optionGroup(OptionGroupId::Tonsys);
}

// An option of a group whose words are numbers ("--evaluator 5"): the numeral is read as a
// number ("05" too), then looked up among the group's words.
int parseGroupWord(const std::string& text, const OptionGroup& group) {
    int number = 0;
    const int option = parseNumber(text, number) ? group.optionForWord(std::to_string(number)) : 0;
    if (option == 0)
        throw UsageError(std::string(group.cliOption) + ": \"" + text +
                         "\" ist nicht erlaubt (erlaubt: " + group.allowedWords() + ").");
    return option;
}

// "  --evaluator 5|4|3     Auswertung: 5 Ton, 4 Ton oder 3 Ton" or, where the words are the
// options' numbers, "  --mode 1-4  Schaltermodus: 1 Schaltbar, 2 Immer ein, ...", wrapped
// within 80 columns.
std::string groupHelp(const OptionGroup& group) {
    const bool numerals = group.wordsAreNumerals();
    std::string head = std::string("  ") + group.cliOption + " ";
    if (numerals)
        head += "1-" + std::to_string(group.count);
    else
        for (int n = 1; n <= group.count; ++n)
            head += std::string(n > 1 ? "|" : "") + group.words[static_cast<std::size_t>(n - 1)];
    head.resize(std::max<std::size_t>(head.size() + 1, 24), ' ');
    std::vector<std::string> items;
    for (int n = 1; n <= group.count; ++n) {
        const std::string caption = group.options[static_cast<std::size_t>(n - 1)];
        items.push_back(numerals ? std::to_string(n) + " " + caption : caption);
    }
    std::string text = head + group.name + ":";
    std::size_t column = 0; // characters of the current line, as the terminal shows them
    for (char c : text)
        column += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string item = items[i];
        std::size_t width = 0; // the item's own characters: a comma after it may stand beyond
        for (char c : item)
            width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (i + 1 < items.size())
            item += numerals || i + 2 < items.size() ? "," : " oder";
        if (column + 1 + width > 80) {
            text += "\n" + std::string(23, ' ');
            column = 23;
        }
        text += " " + item;
        column += item.size() - (items[i].size() - width) + 1;
    }
    return text + "\n";
}

int parseExpert(const std::string& text, const ExpertRange& range) {
    int value = 0;
    if (!parseNumber(text, value) || !range.allows(value))
        throw UsageError(std::string(range.option) + ": \"" + text +
                         "\" ist nicht erlaubt (erlaubt: " + range.allowed() + ").");
    return value;
}

} // namespace

uint8_t parseSystem(const std::string& text) {
    int n = 0;
    if (parseNumber(text, n) && n >= 1 && n <= systems().count)
        return static_cast<uint8_t>(n);
    if (const int tonsys = systems().optionForWord(text))
        return static_cast<uint8_t>(tonsys);
    std::string words;
    for (int tonsys = 1; tonsys <= systems().count; ++tonsys)
        words += std::string(", ") + systems().words[static_cast<std::size_t>(tonsys - 1)];
    throw UsageError(std::string(systems().cliOption) + ": \"" + text +
                     "\" ist kein Tonsystem (erlaubt: 1 bis " + std::to_string(systems().count) +
                     words + ").");
}

namespace {

// Every option that takes a value, of every command.
constexpr std::string_view kValueOptions[] = {
    "-f",           "--system",      "--evaluator",  "--mode",   "--address", "--tone-length",
    "--tone-pause", "--block-pause", "--amplitude",  "--device", "-o",        "--output",
    "--rate",       "--input",       "--min-length", "--log",    "--from"};

} // namespace

bool isValueOption(std::string_view name) {
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), name) !=
           std::end(kValueOptions);
}

void Args::skipEnd() const {
    if (!operandsOnly_ && next_ < args_.size() && args_[next_] == "--") {
        operandsOnly_ = true;
        ++next_;
    }
}

bool Args::done() const {
    skipEnd();
    return next_ >= args_.size();
}

const std::string& Args::current() const {
    skipEnd();
    return args_.at(next_);
}

bool Args::operand() const {
    return done() || operandsOnly_;
}

bool Args::takeValue(std::initializer_list<std::string_view> names, std::string& value) {
    if (operand())
        return false;
    const std::string& arg = args_[next_];
    for (const std::string_view name : names) {
        if (!isValueOption(name))
            throw std::logic_error("value option missing from the list: " + std::string(name));
        if (arg == name) {
            if (next_ + 1 >= args_.size())
                throw UsageError("Option " + arg + " braucht einen Wert.");
            value = args_[next_ + 1];
            next_ += 2;
            return true;
        }
        const bool isLong = name.starts_with("--");
        if (arg.starts_with(name) && arg.size() > name.size() &&
            (!isLong || arg[name.size()] == '=')) {
            value = arg.substr(name.size() + (isLong ? 1 : 0));
            ++next_;
            return true;
        }
    }
    return false;
}

bool Args::takeFlag(const std::string& name) {
    if (operand() || args_[next_] != name)
        return false;
    ++next_;
    return true;
}

bool Args::takeArgument(std::string& value) {
    if (done() || (!operandsOnly_ && args_[next_].starts_with("-") && args_[next_] != "-"))
        return false;
    value = args_[next_++];
    return true;
}

void Args::reject() const {
    const std::string& arg = current();
    if (!operandsOnly_ && arg.starts_with("-") && arg != "-")
        throw UsageError("Unbekannte Option: " + arg);
    throw UsageError("Unerwartetes Argument: " + arg);
}

Input::Input(const std::string& name) {
    if (name == "-")
        return;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    if (!fs::exists(status))
        throw Failure("Datei nicht gefunden: " + name);
    if (fs::is_directory(status))
        throw Failure("Keine Datei: " + name);
    file_.open(name, std::ios::binary);
    if (!file_.is_open())
        throw Failure("Datei nicht lesbar: " + name + " (" + std::strerror(errno) + ")");
}

void warn(const std::string& text) {
    std::fprintf(stderr, "Hinweis: %s\n", text.c_str());
}

namespace {
std::optional<std::string> standardInput;
bool notesShown = false;
volatile std::sig_atomic_t stoppedBy = 0;
} // namespace

const std::string* standardInputRead() {
    return standardInput ? &*standardInput : nullptr;
}

void settingsNotesShown() {
    notesShown = true;
}

void noteStopSignal(int signal) noexcept {
    stoppedBy = signal;
}

int stopSignal() noexcept {
    return stoppedBy;
}

void endByStopSignal() {
    const int signal = stoppedBy;
    if (signal == 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
}

std::string SettingsOptions::help() {
    // The tone systems' words from their table, wrapped within 80 columns.
    std::string systemsHelp = "  " + std::string(systems().cliOption) + " TONSYSTEM    1 bis " +
                              std::to_string(systems().count) + " oder";
    std::size_t lineStart = 0;
    for (int i = 0; i < systems().count; ++i) {
        const std::string word = std::string(systems().words[static_cast<std::size_t>(i)]) +
                                 (i + 1 < systems().count ? "," : "");
        if (systemsHelp.size() - lineStart + 1 + word.size() > 80) {
            systemsHelp += "\n";
            lineStart = systemsHelp.size();
            systemsHelp += std::string(23, ' ');
        }
        systemsHelp += " " + word;
    }
    // The flags of "Normal" and "Langton", the one away from the start state first.
    const OptionGroup& lenModes = optionGroup(OptionGroupId::LenMode);
    std::string flags;
    for (int n = lenModes.count; n >= 1; --n) {
        std::string flag = std::string("  ") + lenModes.words[static_cast<std::size_t>(n - 1)];
        flag.resize(24, ' ');
        flags +=
            flag + lenModes.name + ": " + lenModes.options[static_cast<std::size_t>(n - 1)] + "\n";
    }
    return "Einstellungen (wie im Hauptfenster; ohne sie gilt dessen Startzustand: ZVEI 1,\n"
           "Normal, 5 Ton, Schaltbar, Ruf 1 = 57434):\n"
           "  -f DATEI.740          Programmierdaten aus der Datei laden (- liest die\n"
           "                        Standardeingabe); Optionen danach gelten statt der Werte\n"
           "                        der Datei\n" +
           systemsHelp + "\n" + flags + groupHelp(optionGroup(OptionGroupId::Evaluator)) +
           groupHelp(optionGroup(OptionGroupId::SwitchMode)) +
           "  --address N=TEXT      Ruf N (1 bis 4) ankreuzen, Rufadresse TEXT; mehrfach möglich;\n"
           "                        N= ohne TEXT: Ruf N nicht ankreuzen\n"
           "Die Rufadressen werden wie bei \"Programmieren\" ergänzt und geprüft.\n";
}

namespace {
// "--normal" or "--long": the option it selects, or 0 for none.
int takeLenModeFlag(Args& args) {
    const OptionGroup& lenModes = optionGroup(OptionGroupId::LenMode);
    for (int n = 1; n <= lenModes.count; ++n)
        if (args.takeFlag(lenModes.words[static_cast<std::size_t>(n - 1)]))
            return n;
    return 0;
}
} // namespace

bool SettingsOptions::take(Args& args) {
    std::string value;
    if (args.takeValue("-f", value)) {
        load(value);
    } else if (args.takeValue(systems().cliOption, value)) {
        settings_.tonsys = parseSystem(value);
    } else if (const int lenMode = takeLenModeFlag(args)) {
        settings_.lenMode = lenMode;
    } else if (args.takeValue(optionGroup(OptionGroupId::Evaluator).cliOption, value)) {
        selectEvaluator(
            static_cast<uint8_t>(parseGroupWord(value, optionGroup(OptionGroupId::Evaluator))));
    } else if (args.takeValue(optionGroup(OptionGroupId::SwitchMode).cliOption, value)) {
        settings_.switchMode = parseGroupWord(value, optionGroup(OptionGroupId::SwitchMode));
    } else if (args.takeValue("--address", value)) {
        setAddress(value);
    } else {
        return false;
    }
    return true;
}

void SettingsOptions::setAddress(const std::string& value) {
    const auto equals = value.find('=');
    int n = 0;
    if (equals == std::string::npos || !parseNumber(value.substr(0, equals), n) || n < 1 || n > 4)
        throw UsageError("--address: \"" + value +
                         "\" ist nicht erlaubt (erwartet: N=TEXT mit N von 1 bis 4).");
    // Texts are single bytes, as the address fields and files hold them; no text unchecks.
    const std::string text = platform::utf8ToCp1252(value.substr(equals + 1));
    settings_.addresses[static_cast<std::size_t>(n - 1)] = {!text.empty(), text};
}

void SettingsOptions::selectEvaluator(uint8_t evaluator) {
    // Selecting another evaluator cuts the addresses, as its click does; the same one does not.
    if (evaluator == settings_.evaluator)
        return;
    settings_.evaluator = evaluator;
    for (AddressSlot& address : settings_.addresses)
        if (address.text.size() > settings_.adresseLen())
            address.text = cutAddress(address.text, settings_.adresseLen());
}

void SettingsOptions::load(const std::string& file) {
    Input input(file);
    // One byte beyond the limit is enough to tell a file too large for programming data.
    std::string bytes;
    char block[65536];
    while (bytes.size() <= progDataMaxFileSize &&
           input.stream().read(block, sizeof block).gcount() > 0)
        bytes.append(block, static_cast<std::size_t>(input.stream().gcount()));
    if (input.stream().bad())
        throw Failure("Datei nicht lesbar: " + file);
    if (input.isStandardInput() && !standardInput)
        standardInput = bytes;
    const std::string name = file == "-" ? "Standardeingabe" : file;
    const ProgDataLoad loaded = loadProgDataBytes(bytes, settings_, "Die Datei " + name);
    if (!loaded.refusal.empty())
        throw Failure(loaded.refusal);
    for (const std::string& ignored : progDataIgnoredValues(loaded.profile))
        if (!notesShown)
            warn(name + ": " + platform::cp1252ToUtf8(ignored) + ".");
    if (!loaded.stopped.empty())
        throw Failure(withPeriod(loaded.stopped));
    settings_ = loaded.settings;
}

TProgTones SettingsOptions::progTones() const {
    ProgSettings s = settings_;
    for (AddressSlot& slot : s.addresses)
        slot.text = normaliseRepeats(slot.text, s.adresseLen());
    // The window's messages, but a checked address that is too long is called so.
    const int incomplete = incompleteAddress(s.addresses, s.adresseLen());
    if (incomplete != 0 && s.addresses[std::size_t(incomplete - 1)].text.size() > s.adresseLen())
        throw Failure("Rufadresse " + std::to_string(incomplete) + " ist zu lang.");
    // The engine's messages, the window's too: a character without a tone in the system is
    // named in German ("Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für "G".").
    const ProgTonesResult result = ::progTones(s);
    if (!result.ok)
        throw Failure(result.message);
    return result.tones;
}
std::string ExpertOptions::help() {
    std::string text = "Expertenwerte (wie die Regler des Programmierdialogs):\n";
    for (const ExpertRange* range : kExpertRanges) {
        std::string option = std::string(range->option) + " " + range->placeholder;
        option.resize(std::max<std::size_t>(option.size() + 1, 22), ' ');
        text += "  " + option + range->caption + ", " + range->allowed() + " (Vorgabe " +
                std::to_string(range->initial) + ")\n";
    }
    return text;
}

bool ExpertOptions::take(Args& args) {
    std::string value;
    if (args.takeValue(kToneLengthRange.option, value))
        values_.toneLength = static_cast<uint16_t>(parseExpert(value, kToneLengthRange));
    else if (args.takeValue(kTonePauseRange.option, value))
        values_.tonePause = static_cast<uint16_t>(parseExpert(value, kTonePauseRange));
    else if (args.takeValue(kBlockPauseRange.option, value))
        values_.blockPause = static_cast<uint16_t>(parseExpert(value, kBlockPauseRange));
    else if (!takeAmplitude(args))
        return false;
    return true;
}

bool ExpertOptions::takeAmplitude(Args& args) {
    std::string value;
    if (!args.takeValue(kAmplitudeRange.option, value))
        return false;
    values_.amplitude = static_cast<uint8_t>(parseExpert(value, kAmplitudeRange));
    return true;
}

bool OutputOptions::take(Args& args) {
    if (args.takeValue("--device", device)) {
        if (device.empty())
            throw UsageError("--device braucht einen Gerätenamen.");
        return true;
    }
    if (args.takeFlag("--speaker")) {
        speaker = true;
        return true;
    }
    return false;
}

void OutputOptions::check() const {
    if (speaker && !device.empty())
        throw UsageError("--device und --speaker schließen einander aus.");
}

void checkCheckOptions(bool check, bool haveInput, const std::string& input,
                       const OutputOptions& output) {
    output.check();
    if (haveInput && input.empty())
        throw UsageError("--input braucht einen Gerätenamen.");
    if (haveInput && !check)
        throw UsageError("--input gilt nur mit --check.");
    if (check && output.speaker)
        throw UsageError("--check und --speaker schließen einander aus: geprüft wird, was die "
                         "Soundkarte sendet.");
}

void writeAll(std::FILE* out, const std::string& bytes, const std::string& name) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fflush(out) != 0)
        throw Failure("Schreiben fehlgeschlagen: " + name + " (" +
                      platform::systemErrorText(errno) + ")");
}

} // namespace cli
