// SPDX-License-Identifier: GPL-3.0-or-later
#include "SequenceDecoder.h"

#include "Addresses.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <utility>

namespace {

// A measured tone belongs to a table tone within 2.5 %: half the closest spacing of two tones
// of one system (1055/1124 and 1124/1197 Hz, 6.5 %), with room for a speed error.
constexpr double kTolerance = 0.025;
// Within a block tones are at most 100 ms apart; blocks at least 400 ms.
constexpr double kBlockGap = 0.3;

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

// "1 Ton", "2 Töne": a count with its noun in the number it needs.
std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

std::string hertz(double f) {
    return std::to_string(static_cast<long>(std::lround(f))) + " Hz";
}

const std::array<const char*, 4> kBlockNames = {"Block B I", "Block B II", "Block B III",
                                                "Block B IV"};

// The option (from 1) of a Block A setting whose tone the encoder puts in slot, or 0: the
// encoder itself is asked, so that its table is the only one.
template <typename Field>
int optionFor(const ProgSettings& settings, Field field, int options, int slot, uint16_t tone,
              const TToneTable& table) {
    ProgSettings probe = settings;
    for (int option = 1; option <= options; ++option) {
        probe.*field = option;
        if (EncodeProgTones(probe, table)[slot] == tone)
            return option;
    }
    return 0;
}

struct Attempt {
    std::optional<DecodedSequence> result;
    std::size_t reached = 0; // tones read before the failure
    std::string failure;
    int extraTones = 0; // 'G' characters used
};

using Blocks = std::vector<std::vector<const FoundTone*>>;

Attempt decodeAs(uint8_t tonsys, const Blocks& blocks, const TToneTable& table) {
    Attempt attempt;
    const std::string system = std::string(" von ") + toneSystemCaption(tonsys);
    auto fail = [&](std::string message) {
        attempt.failure = std::move(message);
        return attempt;
    };
    auto describe = [](const std::string& where, const FoundTone& t) {
        return where + " (" + seconds(t.start) + ", " + hertz(t.frequency) + ")";
    };

    // Block A: six settings, each the tone of one index.
    const auto& a = blocks.front();
    std::array<int, kBlockASlots> index{};
    for (int slot = 0; slot < kBlockASlots; ++slot) {
        const std::string where = "Block A, Ton " + std::to_string(slot + 1);
        const auto i = toneIndex(table, tonsys, a[slot]->frequency);
        if (!i)
            return fail(describe(where, *a[slot]) + " ist kein Ton" + system + ".");
        index[slot] = *i;
        ++attempt.reached;
    }
    ProgSettings s;
    s.tonsys = tonsys;
    s.addresses = {};
    auto tone = [&](int slot) { return table.tone(tonsys, index[slot]); };
    auto invalid = [&](int slot, const char* setting) {
        attempt.reached = static_cast<std::size_t>(slot);
        return fail(describe("Block A, Ton " + std::to_string(slot + 1), *a[slot]) +
                    " ist kein gültiger Wert für " + setting + system + ".");
    };
    const TProgTones plain = EncodeProgTones(s, table);
    if (tone(0) != plain[0])
        return invalid(0, "das Tonsystem");
    if (tone(1) != plain[1])
        return invalid(1, "die Tonlänge");
    s.lenMode = optionFor(s, &ProgSettings::lenMode, 2, 2, tone(2), table);
    if (s.lenMode == 0)
        return invalid(2, "Normal/Langton");
    s.evaluator = optionFor(s, &ProgSettings::evaluator, 3, 3, tone(3), table);
    if (s.evaluator == 0)
        return invalid(3, "den Auswerter");
    s.switchMode = optionFor(s, &ProgSettings::switchMode, 4, 5, tone(5), table);
    if (s.switchMode == 0)
        return invalid(5, "den Schaltermodus");
    // Slot 4 is the tone of 2 + the number of addresses.
    if (index[4] < 3 || index[4] > 6)
        return invalid(4, "die Zahl der Rufadressen");
    const int count = index[4] - 2;

    // The address blocks Block A announces, each of adresseLen tones.
    for (int b = 0; b < count; ++b) {
        if (b + 1 >= static_cast<int>(blocks.size())) {
            const FoundTone& last = *blocks.back().back();
            return fail(
                "Block A kündigt " + counted(std::size_t(count), "Rufadresse", "Rufadressen") +
                " an, gefunden " + (b == 1 ? "ist " : "sind ") + std::to_string(b) + "; nach " +
                seconds(last.start + last.length) + " folgt kein " + kBlockNames[b] + ".");
        }
        const auto& block = blocks[b + 1];
        if (block.size() != s.adresseLen())
            return fail(std::string(kBlockNames[b]) + " ab " + seconds(block.front()->start) +
                        " hat " + counted(block.size(), "Ton", "Töne") +
                        ", der Auswerter verlangt " + std::to_string(s.adresseLen()) + ".");
        std::string text;
        for (std::size_t k = 0; k < block.size(); ++k) {
            const std::string where =
                std::string(kBlockNames[b]) + ", Ton " + std::to_string(k + 1);
            const auto i = toneIndex(table, tonsys, block[k]->frequency);
            if (!i)
                return fail(describe(where, *block[k]) + " ist kein Ton" + system + ".");
            text += addressCharacter(*i);
            attempt.extraTones += *i == kExtraToneIndex;
            ++attempt.reached;
        }
        // The window replaces a repeated character by 'R' before it encodes: two equal tones
        // in a row never come from it, and reading them so would not give these tones again.
        if (normaliseRepeats(text, s.adresseLen()) != text)
            return fail(std::string(kBlockNames[b]) + " ab " + seconds(block.front()->start) +
                        " enthält zwei gleiche Töne hintereinander (" + text +
                        "); so sendet das Programm keine Rufadresse.");
        s.addresses[b] = {true, text};
    }
    if (const auto problem = checkAddresses(s.addresses, s.adresseLen()))
        return fail(*problem);

    DecodedSequence d;
    d.settings = s;
    d.tones = EncodeProgTones(s, table);
    // The settings must give back exactly the tones that were read.
    std::size_t n = 0;
    for (std::size_t b = 0; b <= static_cast<std::size_t>(count); ++b)
        for (std::size_t k = 0; k < blocks[b].size(); ++k, ++n) {
            const std::size_t slot = b == 0 ? k : kBlockASlots + (b - 1) * kAddressBlockSlots + k;
            const int i =
                b == 0 ? index[k] : toneIndex(table, tonsys, blocks[b][k]->frequency).value();
            if (d.tones[slot] != table.tone(tonsys, i))
                return fail("Die Töne lassen sich nicht eindeutig umkehren (Ton " +
                            std::to_string(n + 1) + ").");
        }
    if (static_cast<int>(blocks.size()) > count + 1)
        d.notes.push_back("Nach der Sequenz folgen ab " +
                          seconds(blocks[count + 1].front()->start) +
                          " weitere Töne; sie wurden nicht gelesen.");
    attempt.result = std::move(d);
    return attempt;
}

// Means of the tone length, tone pause and block pause, in ms.
void measureTiming(const Blocks& blocks, std::size_t used, DecodedSequence& d) {
    double tones = 0, pauses = 0, blockPauses = 0;
    int toneCount = 0, pauseCount = 0, blockCount = 0;
    for (std::size_t b = 0; b < used; ++b) {
        for (std::size_t k = 0; k < blocks[b].size(); ++k) {
            tones += blocks[b][k]->length;
            ++toneCount;
            if (k + 1 < blocks[b].size()) {
                pauses += blocks[b][k + 1]->start - blocks[b][k]->start - blocks[b][k]->length;
                ++pauseCount;
            }
        }
        // Address blocks are B apart from tone end to tone start; Block A is 2 B before B I.
        if (b + 1 < used) {
            const FoundTone& last = *blocks[b].back();
            const double gap = blocks[b + 1].front()->start - last.start - last.length;
            blockPauses += b == 0 ? gap / 2 : gap;
            ++blockCount;
        }
    }
    d.toneLength = toneCount ? 1000 * tones / toneCount : 0;
    d.tonePause = pauseCount ? 1000 * pauses / pauseCount : 0;
    d.blockPause = blockCount ? 1000 * blockPauses / blockCount : 0;
}

} // namespace

DecodedSequence decodeSequence(const std::vector<FoundTone>& found, const TToneTable& table) {
    if (found.empty())
        throw DecodeError("In der Aufnahme sind keine Töne zu finden.");
    Blocks blocks(1);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i > 0 && found[i].start - found[i - 1].start - found[i - 1].length > kBlockGap)
            blocks.emplace_back();
        blocks.back().push_back(&found[i]);
    }
    std::string summary = "Gefunden: " + counted(found.size(), "Ton", "Töne") + " in " +
                          counted(blocks.size(), "Block", "Blöcken") + " (";
    for (std::size_t b = 0; b < blocks.size(); ++b)
        summary += (b ? ", " : "") + std::to_string(blocks[b].size());
    summary += ").\n";
    if (blocks.front().size() != kBlockASlots)
        throw DecodeError(summary + "Block A ab " + seconds(found.front().start) + " hat " +
                          counted(blocks.front().size(), "Ton", "Töne") + " statt 6.");

    // Several tone systems share their tones; each is tried. The first that reads the tones
    // without the twelfth tone ('G') is taken, then the lowest number; the others are named.
    std::vector<Attempt> attempts;
    for (uint8_t tonsys = 1; tonsys <= kToneSystems; ++tonsys)
        attempts.push_back(decodeAs(tonsys, blocks, table));
    const Attempt* best = nullptr;
    for (const Attempt& a : attempts)
        if (a.result && (!best || a.extraTones < best->extraTones))
            best = &a;
    if (!best) {
        const Attempt* furthest = &attempts.front();
        for (const Attempt& a : attempts)
            if (a.reached > furthest->reached)
                furthest = &a;
        throw DecodeError(summary + furthest->failure);
    }
    DecodedSequence d = *best->result;
    for (const Attempt& a : attempts)
        if (a.result && &a != best)
            d.sameTones.push_back(a.result->settings.tonsys);
    if (!d.sameTones.empty()) {
        std::string note = "Dieselben Töne ergeben auch ";
        for (std::size_t i = 0; i < d.sameTones.size(); ++i)
            note += std::string(i ? ", " : "") + toneSystemCaption(d.sameTones[i]);
        note += "; gewählt ist " + std::string(toneSystemCaption(d.settings.tonsys)) + ".";
        d.notes.insert(d.notes.begin(), note);
    }
    const auto addressCount =
        std::count_if(d.settings.addresses.begin(), d.settings.addresses.end(),
                      [](const AddressSlot& a) { return a.checked; });
    measureTiming(blocks, 1 + static_cast<std::size_t>(addressCount), d);
    return d;
}

DecodedSequence decodeSequence(const Recording& recording, const TToneTable& table) {
    return decodeSequence(findTones(recording), table);
}

std::optional<int> toneIndex(const TToneTable& table, uint8_t tonsys, double f) {
    for (int i = 0; i < kToneIndices; ++i) {
        const uint16_t nominal = table.tone(tonsys, i);
        if (nominal != 0 && std::fabs(f / nominal - 1) <= kTolerance)
            return i;
    }
    return std::nullopt;
}
