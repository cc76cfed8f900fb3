// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserTexts.h"

std::string testCallAborted(const std::string& reason) {
    return "Der Testruf wurde abgebrochen (" + reason + ").";
}

std::string withPeriod(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}
