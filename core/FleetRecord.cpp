// SPDX-License-Identifier: GPL-3.0-or-later
#include "FleetRecord.h"

#include "Cp1252.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <optional>
#include <vector>

namespace {

constexpr const char* kTime = "Zeit";
constexpr const char* kDevice = "Ausgabegerät";
constexpr const char* kResult = "Ergebnis";
constexpr const char* kCheck = "Prüfung";

std::string expertHeader(const ExpertRange& range) {
    return std::string(range.caption) + " (" + range.unit + ")";
}

// A line break (CR LF, LF or CR, with the blanks around it) becomes one blank, so that a line
// of the file is always a whole entry and reads as the message did.
std::string oneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '\r' && text[i] != '\n') {
            out += text[i++];
            continue;
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        while (i < text.size() && (text[i] == '\r' || text[i] == '\n' || text[i] == ' '))
            ++i;
        if (!out.empty() && i < text.size())
            out += ' ';
    }
    return out;
}

std::vector<std::string> headerFields() {
    std::vector<std::string> fields{kTime, fleetColumnName(FleetColumn::Label),
                                    fleetColumnName(FleetColumn::Holder)};
    for (auto c = FleetColumn::Tonsys; c <= FleetColumn::Call4;
         c = static_cast<FleetColumn>(static_cast<int>(c) + 1))
        fields.push_back(fleetColumnName(c));
    fields.emplace_back(kDevice);
    for (const ExpertRange* range : kExpertRanges)
        fields.push_back(expertHeader(*range));
    fields.emplace_back(kResult);
    fields.emplace_back(kCheck);
    return fields;
}

std::optional<FleetResult> resultOf(const std::string& cell) {
    if (cell == kFleetSent)
        return FleetResult::Sent;
    if (cell == kFleetSkipped)
        return FleetResult::Skipped;
    if (cell == kFleetAborted || cell.starts_with(std::string(kFleetAborted) + ":"))
        return FleetResult::Aborted;
    if (cell == kFleetStarted)
        return FleetResult::Started;
    return std::nullopt;
}

} // namespace

std::string isoLocalTime(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    return isoTime(seconds, static_cast<int>(local.tm_gmtoff / 60));
}

std::string isoTime(std::int64_t unixSeconds, int offsetMinutes) {
    // The civil date of a day count (days from 1970-01-01), by eras of 400 years: written out
    // so that no time zone, strftime or printf is needed where there is none.
    const std::int64_t local = unixSeconds + std::int64_t{offsetMinutes} * 60;
    std::int64_t days = local / 86400;
    std::int64_t second = local % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    auto digits = [](std::int64_t value, int width) {
        std::string text(static_cast<std::size_t>(width), '0');
        for (int i = width - 1; i >= 0 && value > 0; --i, value /= 10)
            text[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
        return text;
    };
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return digits(year, 4) + "-" + digits(month, 2) + "-" + digits(day, 2) + "T" +
           digits(second / 3600, 2) + ":" + digits(second / 60 % 60, 2) + ":" +
           digits(second % 60, 2) + (offsetMinutes < 0 ? "-" : "+") + digits(magnitude / 60, 2) +
           ":" + digits(magnitude % 60, 2);
}

std::string fleetResultText(FleetResult result, const std::string& reason) {
    switch (result) {
    case FleetResult::Sent:
        return kFleetSent;
    case FleetResult::Skipped:
        return kFleetSkipped;
    case FleetResult::Started:
        return kFleetStarted;
    case FleetResult::Aborted:
        return reason.empty() ? std::string(kFleetAborted)
                              : std::string(kFleetAborted) + ": " + oneLine(reason);
    }
    return "?";
}

std::string fleetRecordHeader() {
    return std::string(kUtf8Bom) + csvLine(headerFields());
}

std::string fleetRecordLine(const FleetRecordEntry& e) {
    std::vector<std::string> fields{e.time, oneLine(e.label), oneLine(e.holder)};
    for (const std::string& cell : fleetSettingsCells(e.settings))
        fields.push_back(cell);
    fields.push_back(oneLine(e.device));
    fields.push_back(std::to_string(e.expert.toneLength));
    fields.push_back(std::to_string(e.expert.tonePause));
    fields.push_back(std::to_string(e.expert.blockPause));
    fields.push_back(std::to_string(e.expert.amplitude));
    fields.push_back(fleetResultText(e.result, e.reason));
    fields.push_back(oneLine(e.check));
    return csvLine(fields);
}

std::vector<FleetRecordRow> fleetRecordRows(std::string_view recordBytes) {
    std::vector<FleetRecordRow> out;
    const DecodedText text = decodeText(recordBytes);
    const char separator = csvSeparator(text.utf8);
    const std::vector<CsvRow> rows = parseCsv(text.utf8, separator, false);
    if (rows.empty())
        return out;
    // The columns by their names in the first line.
    std::vector<std::string> names{kTime, fleetColumnName(FleetColumn::Label), kResult, kCheck,
                                   kDevice};
    for (const char* call : kAddressCaptions)
        names.emplace_back(call);
    for (const ExpertRange* range : kExpertRanges)
        names.push_back(expertHeader(*range));
    std::vector<int> at(names.size(), -1);
    for (std::size_t f = 0; f < rows.front().fields.size(); ++f)
        for (std::size_t k = 0; k < at.size(); ++k)
            if (caseFolded(trimmed(rows.front().fields[f])) == caseFolded(names[k]))
                at[k] = static_cast<int>(f);
    if (at[1] < 0 || at[2] < 0)
        return out;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        auto cell = [&](std::size_t k) {
            const int f = at[k];
            return f >= 0 && static_cast<std::size_t>(f) < row.fields.size()
                       ? trimmed(row.fields[static_cast<std::size_t>(f)])
                       : std::string();
        };
        if (row.openQuote)
            continue;
        FleetRecordRow read{cell(0),
                            cell(1),
                            cell(2),
                            cell(3),
                            cell(4),
                            {cell(5), cell(6), cell(7), cell(8)},
                            {cell(9), cell(10), cell(11), cell(12)}};
        const std::optional<FleetResult> result = resultOf(read.result);
        if (read.label.empty() || !result)
            continue;
        read.kind = *result;
        out.push_back(std::move(read));
    }
    return out;
}

std::string fleetGermanTime(std::string_view iso) {
    // "2026-12-10T14:44:14+01:00": the date and time as written, in the German order.
    const auto digitsAt = [&](std::size_t at, std::size_t n) {
        for (std::size_t i = at; i < at + n; ++i)
            if (i >= iso.size() || iso[i] < '0' || iso[i] > '9')
                return false;
        return true;
    };
    if (iso.size() < 19 || !digitsAt(0, 4) || iso[4] != '-' || !digitsAt(5, 2) || iso[7] != '-' ||
        !digitsAt(8, 2) || iso[10] != 'T' || !digitsAt(11, 2) || !digitsAt(14, 2) ||
        !digitsAt(17, 2))
        return std::string(iso);
    return std::string(iso.substr(8, 2)) + "." + std::string(iso.substr(5, 2)) + "." +
           std::string(iso.substr(0, 4)) + " " + std::string(iso.substr(11, 8));
}

std::map<std::string, FleetLastResult> fleetLastResults(std::string_view recordBytes) {
    std::map<std::string, FleetLastResult> last;
    for (const FleetRecordRow& row : fleetRecordRows(recordBytes))
        last[row.label] = {row.time, row.kind,
                           row.kind == FleetResult::Started ? kFleetUnfinished : row.result,
                           row.check};
    return last;
}

bool fleetCheckFailed(std::string_view check) {
    return check.starts_with("✘");
}

std::optional<FleetLastSend> fleetLastSend(std::string_view recordBytes) {
    const std::vector<FleetRecordRow> rows = fleetRecordRows(recordBytes);
    for (std::size_t at = rows.size(); at-- > 0;) {
        const FleetRecordRow* row = &rows[at];
        if (row->kind == FleetResult::Started || row->kind == FleetResult::Skipped)
            continue;
        if (row->kind != FleetResult::Sent || fleetCheckFailed(row->check))
            return std::nullopt;
        FleetLastSend sent{row->label, {}};
        for (std::size_t n = 0; n < row->calls.size(); ++n)
            sent.settings.addresses[n] = {!row->calls[n].empty(),
                                          platform::utf8ToCp1252(row->calls[n])};
        return sent;
    }
    return std::nullopt;
}

std::string fleetRecordNameFor(const std::string& listName) {
    const std::size_t slash = listName.find_last_of('/');
    const std::size_t dot = listName.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot != 0 && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? listName.substr(0, dot) : listName) + "-Protokoll.csv";
}

std::string fleetRecordUnreadable(const std::string& shown, const std::string& why) {
    return "Das Protokoll " + shown + " lässt sich nicht lesen (" + why +
           "); die letzten Ergebnisse fehlen.";
}

std::string fleetRecordUnwritable(const std::string& shown, const std::string& why) {
    return "Das Protokoll " + shown + " lässt sich nicht schreiben (" + why +
           "). Es wurde nichts gesendet.";
}

std::string fleetRecordLineLost(const std::string& shown, const std::string& why,
                                const std::string& line) {
    std::string bare = line;
    while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
        bare.pop_back();
    return "Die Zeile ließ sich nicht ins Protokoll " + shown + " schreiben (" + why +
           "); die Liste ist angehalten. Die Zeile:\n" + bare;
}

std::string fleetRepeatQuestion(const ProgSettings& before, const std::string& beforeLabel,
                                const ProgSettings& next) {
    std::vector<std::string> repeated;
    for (std::size_t i = 0; i < next.addresses.size(); ++i) {
        const AddressSlot& n = next.addresses[i];
        const AddressSlot& b = before.addresses[i];
        const bool nSent = n.checked && !n.text.empty();
        if (nSent != (b.checked && !b.text.empty()) || (nSent && n.text != b.text))
            return {};
        if (nSent)
            repeated.push_back(platform::cp1252ToUtf8(n.text));
    }
    if (repeated.empty())
        return {};
    std::string list;
    for (const std::string& text : repeated)
        list += (list.empty() ? "" : ", ") + text;
    return (repeated.size() == 1 ? "Die Rufadresse " + list + " wurde"
                                 : "Die Rufadressen " + list + " wurden") +
           " eben schon " + (beforeLabel.empty() ? "" : "an " + beforeLabel + " ") +
           "gesendet. Trotzdem senden?";
}
