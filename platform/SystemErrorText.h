// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The German reason for a system error number (errno), as the user reads it after a file or
// device failure: the one place where such reasons are worded, so that no English text of
// the C library or of Qt reaches the user.
#include <string>

namespace platform {

// "kein Speicherplatz mehr", "keine Berechtigung" ...; an unknown number gives
// "Systemfehler N".
std::string systemErrorText(int errnum);

} // namespace platform
