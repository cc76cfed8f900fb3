// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts a user sees from more than one front-end (the windows, zuvela-cli, the web page), and
// the one way they finish a message. The page takes them through its binding.
#include <string>

// The first line of every sound-card failure.
inline constexpr const char* kSoundCardUnavailable = "Die Soundkarte steht nicht zur Verfügung!";

// The status line of the programming dialog and of the page: a send under way, and how it
// ended.
inline constexpr const char* kStatusSending = "Wird gesendet …";
inline constexpr const char* kStatusSent = "✔ Gesendet.";
// Played to its end where the output cannot tell whether it played without a break.
inline constexpr const char* kStatusPlayed = "✔ Abgespielt (ohne Prüfung auf Lücken).";
inline constexpr const char* kStatusStopped = "✘ Abgebrochen";
inline constexpr const char* kStatusBroken = "✘ Abgebrochen, unvollständig.";
inline constexpr const char* kStatusNotSent = "✘ Nicht gesendet.";
// What the check at the cable and the level check say when the input heard nothing.
inline constexpr const char* kNothingHeard = "✘ Nichts gehört – Kabel und Eingang prüfen";

// The line that follows it when a test call broke off: "Der Testruf wurde abgebrochen (why)."
std::string testCallAborted(const std::string& reason);

// As the default error box shows a message: with a final period, unless it ends in one or in
// another mark below it ('!', '"', ')', ...).
std::string withPeriod(std::string message);
