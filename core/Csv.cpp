// SPDX-License-Identifier: GPL-3.0-or-later
#include "Csv.h"

#include "Cp1252.h"

const char* textEncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return "UTF-8 mit BOM";
    case TextEncoding::Utf8:
        return "UTF-8";
    case TextEncoding::Windows1252:
        return "Windows-1252";
    }
    return "?";
}

namespace {

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        unsigned min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        unsigned value = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (d & 0x3F);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

DecodedText decodeText(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom))
        return {std::string(bytes.substr(kUtf8Bom.size())), TextEncoding::Utf8Bom};
    if (validUtf8(bytes))
        return {std::string(bytes), TextEncoding::Utf8};
    return {platform::cp1252ToUtf8(bytes), TextEncoding::Windows1252};
}

char csvSeparator(std::string_view text) {
    bool quoted = false;
    bool comma = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == ';')
            return ';';
        else if (!quoted && c == ',')
            comma = true;
    }
    return comma ? ',' : ';';
}

std::vector<CsvRow> parseCsv(std::string_view text, char separator, bool quotedLineBreaks) {
    std::vector<CsvRow> rows;
    std::size_t i = 0;
    int line = 1;
    const std::size_t n = text.size();
    auto lineEnd = [&](std::size_t at) { return text[at] == '\n' || text[at] == '\r'; };
    // Steps over one line end (CR LF counts once) and counts it.
    auto skipLineEnd = [&] {
        if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        ++i;
        ++line;
    };
    while (i < n) {
        CsvRow row;
        row.line = line;
        std::string field;
        bool done = false;
        while (!done) {
            field.clear();
            if (i < n && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        row.openQuote = true;
                        break;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (lineEnd(i)) {
                        if (!quotedLineBreaks) {
                            row.openQuote = true;
                            break;
                        }
                        const std::size_t from = i;
                        skipLineEnd();
                        field += text.substr(from, i - from);
                        continue;
                    }
                    field += text[i++];
                }
            }
            // Unquoted text, or what follows a closing quote, up to the separator or line end.
            while (i < n && text[i] != separator && !lineEnd(i))
                field += text[i++];
            row.fields.push_back(csvCellText(field));
            if (i < n && text[i] == separator) {
                ++i;
                continue;
            }
            if (i < n)
                skipLineEnd();
            done = true;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

namespace {

// Whether a spreadsheet would take the cell for a formula: its first character, blanks passed
// over, starts one (or a tab or CR, which some spreadsheets pass over). An apostrophe counts
// too, as spreadsheets take it for the mark of a text and drop it; so a text of our own that
// begins with one reads back as it was, in a spreadsheet and in csvCellText.
bool formulaLike(std::string_view value) {
    const std::size_t first = value.find_first_not_of(' ');
    return first != std::string_view::npos &&
           std::string_view("=+-@\t\r'").find(value[first]) != std::string_view::npos;
}

} // namespace

std::string csvCellText(std::string_view field) {
    if (field.starts_with('\'') && formulaLike(field.substr(1)))
        field.remove_prefix(1);
    return std::string(field);
}

std::string csvField(std::string_view textValue, char separator) {
    // A leading apostrophe keeps such a cell text in every spreadsheet; csvCellText drops it.
    const std::string guarded =
        formulaLike(textValue) ? "'" + std::string(textValue) : std::string(textValue);
    const std::string_view value = guarded;
    const bool quote =
        value.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string_view::npos ||
        (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                            value.back() == '\t'));
    if (!quote)
        return std::string(value);
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string csvLine(const std::vector<std::string>& fields, char separator) {
    std::string line;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0)
            line += separator;
        line += csvField(fields[k], separator);
    }
    return line + "\r\n";
}

std::string trimmed(std::string_view text) {
    const std::size_t from = text.find_first_not_of(" \t");
    if (from == std::string_view::npos)
        return {};
    const std::size_t to = text.find_last_not_of(" \t");
    return std::string(text.substr(from, to - from + 1));
}

std::string caseFolded(std::string_view utf8) {
    std::string out(utf8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00C0 to U+00DE, but for the multiplication sign U+00D7.
            const auto d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97)
                out[i + 1] = static_cast<char>(d + 0x20);
            ++i;
        }
    }
    return out;
}
