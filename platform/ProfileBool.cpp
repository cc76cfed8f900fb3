// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileBool.h"

namespace platform {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Whether s is a numeral, and if so whether it is non-zero.
std::optional<bool> numeralIsNonZero(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool digits = false;
    bool nonZero = false;
    const auto mantissaDigits = [&] {
        for (; i < s.size() && isDigit(s[i]); ++i) {
            digits = true;
            nonZero = nonZero || s[i] != '0';
        }
    };
    mantissaDigits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissaDigits();
    }
    if (!digits)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        if (i == start)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    return nonZero;
}

} // namespace

namespace {

// Built by appending: GCC 12 warns wrongly (-Wrestrict) about "'" + std::string at -O2.
std::string booleanMessage(std::string_view value) {
    std::string message = "'";
    message.append(value);
    message.append("' is not a valid boolean value");
    return message;
}

} // namespace

BooleanConversionError::BooleanConversionError(std::string_view value)
    : std::runtime_error(booleanMessage(value)) {}

std::optional<bool> tryStrToBool(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (const auto number = numeralIsNonZero(value))
        return number;
    if (equalsIgnoringCase(value, "true"))
        return true;
    if (equalsIgnoringCase(value, "false"))
        return false;
    return std::nullopt;
}

bool strToBool(std::string_view value) {
    if (const auto result = tryStrToBool(value))
        return *result;
    throw BooleanConversionError(value);
}

} // namespace platform
