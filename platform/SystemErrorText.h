// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The German reason for a system error number (errno), as the user reads it after a file or
// device failure: the one place where such reasons are worded, so that no English text of
// the C library or of Qt reaches the user.
#include <string>

namespace platform {

// "kein Speicherplatz mehr", "keine Berechtigung", "Gegenstelle nicht in Betrieb" ...: every
// number Linux knows has its words. Any other number gives "unbekannter Systemfehler" with the
// C library's name of the number in parentheses, or the number itself where it has none; never
// a bare number as the reason.
std::string systemErrorText(int errnum);

} // namespace platform
