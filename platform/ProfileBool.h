// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Boolean conversion of a profile value, as the loader of programming-data files needs it.
//
// A value that reads as a number (a decimal numeral with optional sign, an optional fraction
// after '.', an optional exponent "e"/"E" with optional sign) is true when it is not zero;
// otherwise "True" and "False" count, compared without regard to case. Anything else, the empty
// value included, is an error. Blanks (space, tab) around the value are ignored; the reader has
// removed them already. The number is judged by its digits, never converted to floating point,
// so no value is too large or too small: "1e99999" is true and "0e99999" false.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// what() is "'<value>' is not a valid boolean value" with the value as given, blanks included
// (no period: the default error box adds it).
class BooleanConversionError : public std::runtime_error {
public:
    explicit BooleanConversionError(std::string_view value);
};

// The Boolean the value stands for, or nothing when it stands for none.
std::optional<bool> tryStrToBool(std::string_view value);

// The Boolean the value stands for; throws BooleanConversionError when it stands for none.
bool strToBool(std::string_view value);

} // namespace platform
