// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsLink.h"

#include "Addresses.h"
#include "Cp1252.h"
#include "OptionGroups.h"
#include "ProfileBool.h"
#include "ProgDataFile.h"

#include <array>
#include <charconv>
#include <optional>

namespace {

constexpr std::array<const char*, 4> kRepeatKeys = {"rp1", "rp2", "rp3", "rp4"};
constexpr std::array<const char*, 4> kAddressKeys = {"ad1", "ad2", "ad3", "ad4"};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// As a browser's URLSearchParams decodes: '+' is a blank, "%XX" a byte, a lone '%' itself.
std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The code points of UTF-8 text; a byte that starts no valid sequence is U+FFFD.
std::u32string codePoints(std::string_view utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80                   ? 0
                          : lead >= 0xC2 && lead < 0xE0 ? 1
                          : lead >= 0xE0 && lead < 0xF0 ? 2
                          : lead >= 0xF0 && lead < 0xF5 ? 3
                                                        : -1;
        char32_t c = extra == 0   ? lead
                     : extra == 1 ? lead & 0x1F
                     : extra == 2 ? lead & 0x0F
                                  : lead & 0x07;
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < utf8.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (valid && (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000) || (extra == 2 && c < 0x800) ||
                      (extra == 3 && c < 0x10000)))
            valid = false;
        out += valid ? c : U'\uFFFD';
        i += valid ? static_cast<std::size_t>(extra) + 1 : 1;
    }
    return out;
}

std::string utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// A value as a note shows it: valid UTF-8, no control characters, at most 40 characters.
std::string shown(std::string_view value) {
    constexpr std::size_t kMost = 40;
    const std::u32string points = codePoints(value);
    std::string out;
    for (std::size_t i = 0; i < points.size() && i < kMost; ++i)
        out += points[i] < 0x20 || (points[i] >= 0x7F && points[i] < 0xA0) ? std::string("?")
                                                                           : utf8Of(points[i]);
    return points.size() > kMost ? out + "…" : out;
}

std::optional<int> number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// A group's key as a link writes it: the file's key in small letters ("ts").
std::string groupKey(ProgDataGroup group) {
    std::string key(progDataKey(group));
    for (char& c : key)
        c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// An expert value's key: zuvela-cli's option without its dashes ("tone-length").
std::string expertKey(const ExpertRange& range) {
    return std::string(range.option).substr(2);
}

struct Entry {
    std::string key, value; // decoded
};

} // namespace

SettingsLink readSettingsLink(std::string_view query, const ProgSettings& start) {
    SettingsLink link;
    link.settings = start;
    if (!query.empty() && query.front() == '?')
        query.remove_prefix(1);
    std::vector<Entry> entries;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view part = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (part.empty())
            continue;
        const std::size_t eq = part.find('=');
        entries.push_back(
            {percentDecoded(part.substr(0, eq)),
             eq == std::string_view::npos ? std::string() : percentDecoded(part.substr(eq + 1))});
    }
    // zuvela-cli's note for a value it does not take.
    auto ignore = [&link](const Entry& e, const std::string& why) {
        link.notes.push_back("Hinweis: " + shown(e.key) + "=" + shown(e.value) +
                             " wird ignoriert (" + why + ").");
    };

    // Which entry counts for each key: its last; the earlier ones are noted as ignored.
    struct Known {
        std::string key;
        const Entry* entry = nullptr;
    };
    std::vector<Known> known;
    known.reserve(progDataGroups.size() + 8);
    for (ProgDataGroup group : progDataGroups)
        known.push_back({groupKey(group)});
    for (std::size_t n = 0; n < 4; ++n)
        known.push_back({kRepeatKeys[n]});
    for (std::size_t n = 0; n < 4; ++n)
        known.push_back({kAddressKeys[n]});
    for (const ExpertRange* range : kExpertRanges)
        known.push_back({expertKey(*range)});
    std::vector<const Entry*> unknown;
    for (const Entry& e : entries) {
        Known* k = nullptr;
        for (Known& candidate : known)
            if (candidate.key == e.key)
                k = &candidate;
        if (!k) {
            unknown.push_back(&e);
            continue;
        }
        link.names = true;
        if (k->entry)
            ignore(*k->entry, e.key + " steht später noch einmal");
        k->entry = &e;
    }
    if (!link.names)
        return link; // no link of ours: nothing to say
    for (const Entry* e : unknown)
        ignore(*e, "unbekannter Name");
    auto entryFor = [&](std::string_view key) {
        for (const Known& k : known)
            if (k.key == key)
                return k.entry;
        return static_cast<const Entry*>(nullptr);
    };

    // The option groups: exactly a numeral of an option, as the file's loader selects.
    ProgSettings& s = link.settings;
    for (const ProgDataGroup group : progDataGroups) {
        const Entry* e = entryFor(groupKey(group));
        if (!e)
            continue;
        const int count = progDataOptionCount(group);
        int option = 0;
        for (int n = 1; n <= count; ++n)
            if (e->value == std::to_string(n))
                option = n;
        if (option == 0) {
            ignore(*e, "erlaubt: 1 bis " + std::to_string(count));
            continue;
        }
        link.taken = true;
        switch (group) {
        case ProgDataGroup::Tonsys:
            s.tonsys = static_cast<uint8_t>(option);
            break;
        case ProgDataGroup::ToneLen:
            s.lenMode = option;
            break;
        case ProgDataGroup::Evaluator:
            s.evaluator = option;
            break;
        case ProgDataGroup::SwitchMode:
            s.switchMode = option;
            break;
        }
    }

    // The addresses, together when any is named; their length is the evaluator's as read.
    bool anyAddress = false;
    for (std::size_t n = 0; n < 4; ++n)
        anyAddress = anyAddress || entryFor(kRepeatKeys[n]) || entryFor(kAddressKeys[n]);
    if (anyAddress) {
        const uint8_t len = s.adresseLen();
        for (std::size_t n = 0; n < 4; ++n) {
            AddressSlot slot;
            if (const Entry* e = entryFor(kRepeatKeys[n])) {
                if (const std::optional<bool> checked = platform::tryStrToBool(e->value)) {
                    slot.checked = *checked;
                    link.taken = true;
                } else {
                    ignore(*e, "erlaubt: 0 oder 1");
                }
            }
            if (const Entry* e = entryFor(kAddressKeys[n])) {
                std::string text;
                bool allowed = true;
                for (char32_t c : codePoints(e->value)) {
                    const char32_t typed = c == U'R' ? c : filterAddressKey(c);
                    allowed = allowed && typed != 0 && typed != 8;
                    text += static_cast<char>(typed);
                }
                if (!allowed || text.size() > len) {
                    ignore(*e, "erlaubt: höchstens " + std::to_string(len) +
                                   " Zeichen aus 0 bis 9, G und R");
                } else {
                    slot.text = text;
                    link.taken = true;
                }
            }
            s.addresses[n] = slot;
        }
    }

    // The expert values: within the range and its steps, as zuvela-cli's options.
    std::array<int, 4> values = {link.expert.toneLength, link.expert.tonePause,
                                 link.expert.blockPause, link.expert.amplitude};
    for (std::size_t i = 0; i < kExpertRanges.size(); ++i) {
        const Entry* e = entryFor(expertKey(*kExpertRanges[i]));
        if (!e)
            continue;
        const std::optional<int> value = number(e->value);
        if (!value || !kExpertRanges[i]->allows(*value)) {
            ignore(*e, "erlaubt: " + kExpertRanges[i]->allowed());
            continue;
        }
        values[i] = *value;
        link.taken = true;
    }
    link.expert = {static_cast<uint16_t>(values[0]), static_cast<uint16_t>(values[1]),
                   static_cast<uint16_t>(values[2]), static_cast<uint8_t>(values[3])};
    if (!link.taken) // nothing but ignored values: the link changes nothing
        link.settings = start;
    return link;
}

namespace {

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= 'a' && byte <= 'z') || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

} // namespace

std::string settingsLinkQuery(const ProgSettings& s, const ExpertValues& expert) {
    std::string query;
    auto add = [&](std::string_view key, const std::string& value) {
        query += (query.empty() ? "" : "&") + std::string(key) + "=" + value;
    };
    const std::array<int, 4> options = {s.tonsys, s.lenMode, s.evaluator, s.switchMode};
    for (std::size_t g = 0; g < progDataGroups.size(); ++g)
        add(groupKey(progDataGroups[g]), std::to_string(options[g]));
    bool anyAddress = false;
    for (std::size_t n = 0; n < 4; ++n) {
        if (s.addresses[n].checked)
            add(kRepeatKeys[n], "1");
        if (!s.addresses[n].text.empty())
            add(kAddressKeys[n], percentEncoded(platform::cp1252ToUtf8(s.addresses[n].text)));
        anyAddress = anyAddress || s.addresses[n].checked || !s.addresses[n].text.empty();
    }
    // Four empty addresses are said as such; naming none would keep the start's.
    if (!anyAddress)
        add(kRepeatKeys[0], "0");
    const std::array<int, 4> values = {expert.toneLength, expert.tonePause, expert.blockPause,
                                       expert.amplitude};
    for (std::size_t i = 0; i < kExpertRanges.size(); ++i)
        add(expertKey(*kExpertRanges[i]), std::to_string(values[i]));
    return query;
}
