// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSV text as spreadsheets write it: fields separated by ';' or ',', a field in double quotes
// when it holds the separator, a quote or a line break (a quote inside doubled), lines ended by
// CR LF, LF or CR; a text that would be a formula is kept text by a leading apostrophe. The text
// itself may be UTF-8 with or without a byte order mark, or Windows-1252.
#include <string>
#include <string_view>
#include <vector>

enum class TextEncoding { Utf8Bom, Utf8, Windows1252 };

// How the encoding is named to the user: "UTF-8 mit BOM", "UTF-8", "Windows-1252".
const char* textEncodingName(TextEncoding encoding);

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct DecodedText {
    std::string utf8;
    TextEncoding encoding = TextEncoding::Utf8;
};
// A byte order mark means UTF-8 (and is dropped); else bytes that are valid UTF-8 are UTF-8,
// anything else is read as Windows-1252.
DecodedText decodeText(std::string_view bytes);

struct CsvRow {
    int line = 0; // the file's line (from 1) on which the row starts
    std::vector<std::string> fields;
    bool openQuote = false; // a quoted field that the text ended in
};

// The separator of a text by its first line: ';' when it holds one outside quotes, else ','
// when it holds one, else ';'.
char csvSeparator(std::string_view text);

// The rows of a text. With quotedLineBreaks, a line break inside quotes belongs to the field (as
// spreadsheets write a cell of several lines); without, each line is a row of its own, so that
// a line broken off in a quote does not swallow the lines after it.
std::vector<CsvRow> parseCsv(std::string_view text, char separator, bool quotedLineBreaks = true);

// One field as written: in quotes when it holds the separator, a quote, a line break, or blanks
// at either end. A text that a spreadsheet would run as a formula (it begins with "=", "+",
// "-", "@", a tab, a CR or an apostrophe, blanks before it too) gets a leading apostrophe,
// which keeps it text.
std::string csvField(std::string_view value, char separator = ';');
// A field's text as read: the apostrophe that csvField put before a formula-like text is
// dropped again, so that what was written reads back exactly. parseCsv gives fields so.
std::string csvCellText(std::string_view field);
// A whole line of fields, ended by CR LF.
std::string csvLine(const std::vector<std::string>& fields, char separator = ';');

// Blanks and tabs at either end removed.
std::string trimmed(std::string_view text);
// For comparing names and words without regard to letter case: ASCII letters and the Latin-1
// letters of UTF-8 ("Ä" as "ä") in lower case.
std::string caseFolded(std::string_view utf8);
