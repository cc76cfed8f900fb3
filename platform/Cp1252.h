// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows-1252, the 8-bit code page in which addresses and programming-data files are kept.
#include <string>
#include <string_view>

namespace platform {

// UTF-8 to Windows-1252; a character the code page lacks becomes '?'.
std::string utf8ToCp1252(std::string_view utf8);
// Windows-1252 to UTF-8; the five unassigned bytes map to the C1 controls of the same value.
std::string cp1252ToUtf8(std::string_view cp1252);

} // namespace platform
