// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace platform {

// Hands a link (such as a mailto: link) to the desktop's opener, unchanged.
// The outcome is not reported: a missing mail program is not the program's business.
void shellOpen(const std::string& link);

} // namespace platform
