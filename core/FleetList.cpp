// SPDX-License-Identifier: GPL-3.0-or-later
#include "FleetList.h"

#include "Cp1252.h"
#include "OptionGroups.h"
#include "ProgEngine.h"

#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr std::size_t col(FleetColumn c) {
    return static_cast<std::size_t>(c);
}

constexpr std::array<FleetColumn, 4> kCallColumns = {FleetColumn::Call1, FleetColumn::Call2,
                                                     FleetColumn::Call3, FleetColumn::Call4};

// The option groups whose captions a column holds, in column order.
struct WordColumn {
    FleetColumn column;
    OptionGroupId group;
};
constexpr std::array<WordColumn, 3> kWordColumns = {{
    {FleetColumn::Tonsys, OptionGroupId::Tonsys},
    {FleetColumn::Evaluator, OptionGroupId::Evaluator},
    {FleetColumn::SwitchMode, OptionGroupId::SwitchMode},
}};

std::string listRefusal(const std::string& shown, const std::string& why) {
    return shown + " ist keine Liste: " + why;
}

// Control characters other than tab and line ends do not occur in text a spreadsheet writes.
bool binary(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x0C;
    });
}

bool blankRow(const CsvRow& row) {
    return std::all_of(row.fields.begin(), row.fields.end(),
                       [](const std::string& f) { return trimmed(f).empty(); });
}

std::string allowedCaptions(const OptionGroup& group) {
    std::string text;
    for (int n = 1; n <= group.count; ++n)
        text += std::string(n > 1 ? ", " : "") + group.options[static_cast<std::size_t>(n - 1)];
    return text;
}

std::string unknownValue(FleetColumn column, const std::string& value, const std::string& allowed) {
    return "Unbekannter Wert in Spalte " + fleetColumnName(column) + ": \"" + value +
           "\" (erlaubt: " + allowed + ").";
}

// The option whose caption the cell names (1 to count), or 0.
int optionForCaption(const OptionGroup& group, const std::string& cell) {
    const std::string folded = caseFolded(cell);
    for (int n = 1; n <= group.count; ++n)
        if (caseFolded(group.options[static_cast<std::size_t>(n - 1)]) == folded)
            return n;
    return 0;
}

int& settingFor(ProgSettings& s, OptionGroupId group) {
    switch (group) {
    case OptionGroupId::Evaluator:
        return s.evaluator;
    case OptionGroupId::SwitchMode:
        return s.switchMode;
    default:
        return s.lenMode;
    }
}

// Sets the options the cells name; the first wrong word, or nothing.
std::optional<std::string> applyWords(const std::array<std::string, kFleetColumns>& cells,
                                      const std::array<bool, kFleetColumns>& present,
                                      ProgSettings& s) {
    for (const WordColumn& w : kWordColumns) {
        const std::string& cell = cells[col(w.column)];
        if (!present[col(w.column)] || cell.empty())
            continue;
        const OptionGroup& group = optionGroup(w.group);
        const int n = optionForCaption(group, cell);
        if (n == 0)
            return unknownValue(w.column, cell, allowedCaptions(group));
        if (w.group == OptionGroupId::Tonsys)
            s.tonsys = static_cast<uint8_t>(n);
        else
            settingFor(s, w.group) = n;
    }
    const std::string& longTone = cells[col(FleetColumn::LongTone)];
    if (present[col(FleetColumn::LongTone)] && !longTone.empty()) {
        if (caseFolded(longTone) == kFleetYes)
            s.lenMode = 2;
        else if (caseFolded(longTone) == kFleetNo)
            s.lenMode = 1;
        else
            return unknownValue(FleetColumn::LongTone, longTone,
                                std::string(kFleetYes) + ", " + kFleetNo);
    }
    return std::nullopt;
}

const TToneTable& toneTable() {
    static const TToneTable table = [] {
        TToneTable t;
        fillToneTable(t);
        return t;
    }();
    return table;
}

// The addresses completed as leaving their fields completes them, and the check of
// "Programmieren" on them.
std::string completeAndCheck(ProgSettings& s) {
    for (AddressSlot& slot : s.addresses)
        slot.text = normaliseRepeats(slot.text, s.adresseLen());
    const ProgTonesResult result = progTones(s, toneTable());
    return result.ok ? std::string() : result.message;
}

} // namespace

std::string fleetColumnName(FleetColumn column) {
    switch (column) {
    case FleetColumn::Label:
        return "Kennung";
    case FleetColumn::Holder:
        return "Träger";
    case FleetColumn::Tonsys:
        return optionGroup(OptionGroupId::Tonsys).name;
    case FleetColumn::Evaluator:
        return optionGroup(OptionGroupId::Evaluator).name;
    case FleetColumn::SwitchMode:
        return optionGroup(OptionGroupId::SwitchMode).name;
    case FleetColumn::LongTone:
        return optionCaption(OptionGroupId::LenMode, 2);
    case FleetColumn::Call1:
    case FleetColumn::Call2:
    case FleetColumn::Call3:
    case FleetColumn::Call4:
        return kAddressCaptions[col(column) - col(FleetColumn::Call1)];
    case FleetColumn::Note:
        return "Bemerkung";
    }
    return "?";
}

std::vector<std::string> FleetList::problems() const {
    std::vector<std::string> out;
    for (const FleetPager& p : pagers)
        if (!p.ok())
            out.push_back(fleetLineMessage(p));
    return out;
}

int FleetList::sendable() const {
    return static_cast<int>(
        std::count_if(pagers.begin(), pagers.end(), [](const FleetPager& p) { return p.ok(); }));
}

std::string fleetLineMessage(const FleetPager& pager) {
    std::string text = "Zeile " + std::to_string(pager.line);
    if (!pager.label.empty())
        text += " (" + pager.label + ")";
    return text + ": " + pager.problem;
}

std::array<std::string, 8> fleetSettingsCells(const ProgSettings& s) {
    std::array<std::string, 8> cells{
        optionCaption(OptionGroupId::Tonsys, s.tonsys),
        optionCaption(OptionGroupId::Evaluator, s.evaluator),
        optionCaption(OptionGroupId::SwitchMode, s.switchMode),
        s.lenMode == 2 ? kFleetYes : kFleetNo,
    };
    for (std::size_t n = 0; n < 4; ++n)
        cells[4 + n] = s.addresses[n].checked ? platform::cp1252ToUtf8(s.addresses[n].text) : "";
    return cells;
}

std::string fleetCallsText(const ProgSettings& s) {
    std::string text;
    for (std::size_t n = 0; n < 4; ++n)
        if (s.addresses[n].checked)
            text += std::string(text.empty() ? "" : ", ") + kAddressCaptions[n] + " " +
                    platform::cp1252ToUtf8(s.addresses[n].text);
    return text;
}

std::array<std::string, kFleetColumns> fleetCells(const FleetPager& pager) {
    if (!pager.ok() && pager.line != 0)
        return pager.cells;
    std::array<std::string, kFleetColumns> cells{};
    cells[col(FleetColumn::Label)] = pager.label;
    cells[col(FleetColumn::Holder)] = pager.holder;
    const auto settings = fleetSettingsCells(pager.settings);
    std::copy(settings.begin(), settings.end(), cells.begin() + col(FleetColumn::Tonsys));
    cells[col(FleetColumn::Note)] = pager.note;
    return cells;
}

FleetPager fleetPager(const ProgSettings& settings, std::string label, std::string holder,
                      std::string note) {
    FleetPager p;
    p.label = std::move(label);
    p.holder = std::move(holder);
    p.note = std::move(note);
    p.settings = settings;
    p.problem = p.label.empty() ? "Die Kennung fehlt." : completeAndCheck(p.settings);
    p.cells = fleetCells(p);
    return p;
}

FleetList readFleetList(std::string_view bytes, const std::string& shown,
                        const ProgSettings& start) {
    FleetList list;
    if (bytes.size() > kFleetListMaxBytes) {
        list.refusal = listRefusal(shown, "sie ist größer als 4 MB.");
        return list;
    }
    if (binary(bytes)) {
        list.refusal = listRefusal(shown, "sie enthält Binärdaten.");
        return list;
    }
    DecodedText text = decodeText(bytes);
    list.encoding = text.encoding;
    list.separator = csvSeparator(text.utf8);
    std::vector<CsvRow> rows = parseCsv(text.utf8, list.separator);
    auto row = std::find_if(rows.begin(), rows.end(), [](const CsvRow& r) { return !blankRow(r); });
    if (row == rows.end()) {
        list.refusal = listRefusal(shown, "sie ist leer.");
        return list;
    }

    // The header: which field holds which column.
    std::map<std::string, FleetColumn> byName;
    for (int c = 0; c < kFleetColumns; ++c)
        byName[caseFolded(fleetColumnName(static_cast<FleetColumn>(c)))] =
            static_cast<FleetColumn>(c);
    std::vector<int> fieldColumn(row->fields.size(), -1);
    std::array<bool, kFleetColumns> present{};
    for (std::size_t f = 0; f < row->fields.size(); ++f) {
        const std::string name = trimmed(row->fields[f]);
        const auto found = byName.find(caseFolded(name));
        if (found == byName.end()) {
            if (!name.empty())
                list.notes.push_back("Die Spalte \"" + name + "\" wird nicht gelesen.");
            continue;
        }
        const std::size_t c = col(found->second);
        if (present[c]) {
            list.refusal = listRefusal(shown, "die Spalte " + fleetColumnName(found->second) +
                                                  " steht zweimal in der ersten Zeile.");
            return list;
        }
        present[c] = true;
        fieldColumn[f] = static_cast<int>(c);
    }
    if (!present[col(FleetColumn::Label)]) {
        list.refusal = listRefusal(shown, "ihre erste Zeile nennt keine Spalte Kennung.");
        return list;
    }
    // Without a call column every line would get the start settings' address: every pager the
    // same one, which no technician wants.
    if (!present[col(FleetColumn::Call1)] && !present[col(FleetColumn::Call2)] &&
        !present[col(FleetColumn::Call3)] && !present[col(FleetColumn::Call4)]) {
        std::string read;
        for (const std::string& field : row->fields)
            if (const std::string name = trimmed(field); !name.empty())
                read += (read.empty() ? "" : ", ") + name;
        list.notes.clear();
        list.refusal = listRefusal(shown, "ihre erste Zeile nennt keine der Spalten Ruf 1 bis "
                                          "Ruf 4 (gelesen: " +
                                              read + ").");
        return list;
    }

    const std::array<std::string, 8> startCells = fleetSettingsCells(start);
    std::map<std::string, int> labelLines;
    for (++row; row != rows.end(); ++row) {
        if (blankRow(*row))
            continue;
        FleetPager p;
        p.line = row->line;
        std::copy(startCells.begin(), startCells.end(), p.cells.begin() + col(FleetColumn::Tonsys));
        bool extra = false;
        for (std::size_t f = 0; f < row->fields.size(); ++f) {
            std::string cell = trimmed(row->fields[f]);
            if (f >= fieldColumn.size())
                extra = extra || !cell.empty();
            else if (fieldColumn[f] >= 0)
                p.cells[static_cast<std::size_t>(fieldColumn[f])] = std::move(cell);
        }
        // A row shorter than the header leaves its last columns empty, as a spreadsheet does.
        for (std::size_t f = row->fields.size(); f < fieldColumn.size(); ++f)
            if (fieldColumn[f] >= 0)
                p.cells[static_cast<std::size_t>(fieldColumn[f])].clear();
        p.label = p.cells[col(FleetColumn::Label)];
        p.holder = p.cells[col(FleetColumn::Holder)];
        p.note = p.cells[col(FleetColumn::Note)];

        p.settings = start;
        const std::optional<std::string> wrongWord = applyWords(p.cells, present, p.settings);
        for (std::size_t n = 0; n < 4; ++n) {
            AddressSlot& slot = p.settings.addresses[n];
            if (present[col(kCallColumns[n])]) {
                const std::string& cell = p.cells[col(kCallColumns[n])];
                slot = {!cell.empty(), platform::utf8ToCp1252(cell)};
            } else if (p.settings.evaluator != start.evaluator) {
                // As choosing another evaluator in the window cuts the fields.
                slot.text = cutAddress(slot.text, p.settings.adresseLen());
            }
        }

        const auto earlier = labelLines.find(p.label);
        if (row->openQuote)
            p.problem = "Ein Feld in Anführungszeichen endet nicht.";
        else if (extra)
            p.problem = "Die Zeile hat mehr Felder als die erste Zeile.";
        else if (wrongWord)
            p.problem = *wrongWord;
        else if (p.label.empty())
            p.problem = "Die Kennung fehlt.";
        else if (earlier != labelLines.end())
            p.problem = "Die Kennung \"" + p.label + "\" steht schon in Zeile " +
                        std::to_string(earlier->second) + ".";
        if (!p.label.empty() && earlier == labelLines.end())
            labelLines.emplace(p.label, p.line);
        if (p.problem.empty())
            p.problem = completeAndCheck(p.settings);
        list.pagers.push_back(std::move(p));
    }
    return list;
}

std::string fleetListText(const std::vector<FleetPager>& pagers) {
    std::vector<std::string> header(kFleetColumns);
    for (int c = 0; c < kFleetColumns; ++c)
        header[static_cast<std::size_t>(c)] = fleetColumnName(static_cast<FleetColumn>(c));
    std::string text = std::string(kUtf8Bom) + csvLine(header);
    for (const FleetPager& p : pagers) {
        const auto cells = fleetCells(p);
        text += csvLine(std::vector<std::string>(cells.begin(), cells.end()));
    }
    return text;
}

std::string newFleetListText(const ProgSettings& settings) {
    return fleetListText({fleetPager(settings, "1")});
}
