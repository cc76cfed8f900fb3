// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet list's commands without sound: list checks and prints a list, and batch's course
// through it (prompt, answer, record, summary). Sending a line is Batch.cpp's.
#include "Commands.h"

#include "AppendFile.h"
#include "OptionGroups.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace cli {

namespace {

constexpr const char* kSpeakerDevice = "PC-Lautsprecher";
constexpr const char* kInterruptedReason = "mit Strg+C";

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

void print(const std::string& text) {
    writeAll(stdout, text, "Standardausgabe");
}

// "W1-07 Jürgen Müß" (the holder only when there is one).
std::string labelAndHolder(const FleetPager& p) {
    return p.holder.empty() ? p.label : p.label + " " + p.holder;
}

std::string recordName(const std::string& list, const std::string& log) {
    return log.empty() ? fleetRecordNameFor(list) : log;
}

// The record's bytes, or nothing when there is no record yet or it cannot be read (a note).
std::string readRecord(const std::string& name) {
    try {
        return platform::readRecordBytes(name, kFleetRecordMaxBytes);
    } catch (const platform::AppendFileError& e) {
        warn(fleetRecordUnreadable(quoted(name), e.what()));
        return {};
    }
}

// The record is a file: "-" would make one of that name.
void checkLog(const std::string& log) {
    if (log == "-")
        throw UsageError("--log braucht einen Dateinamen; das Protokoll kann nicht die "
                         "Standardeingabe oder -ausgabe sein.");
}

} // namespace

FleetList readListFile(const std::string& name) {
    Input input(name);
    std::string bytes;
    char block[65536];
    while (bytes.size() <= kFleetListMaxBytes &&
           input.stream().read(block, sizeof block).gcount() > 0)
        bytes.append(block, static_cast<std::size_t>(input.stream().gcount()));
    if (input.stream().bad())
        throw Failure("Datei nicht lesbar: " + name);
    FleetList list =
        readFleetList(bytes, "Die Datei " + (name == "-" ? std::string("Standardeingabe") : name));
    if (!list.refusal.empty())
        throw Failure(list.refusal);
    return list;
}

int runList(Args& args) {
    std::string file;
    std::string log;
    bool haveFile = false;
    while (!args.done()) {
        if (args.takeValue("--log", log))
            continue;
        if (haveFile || !args.takeArgument(file))
            args.reject();
        haveFile = true;
    }
    if (!haveFile)
        throw UsageError("Die Liste fehlt.");
    checkLog(log);
    const FleetList list = readListFile(file);
    for (const std::string& note : list.notes)
        warn(note);
    const auto last = fleetLastResults(readRecord(recordName(file, log)));

    std::string text = (file == "-" ? std::string("Standardeingabe") : file) + ": " +
                       std::to_string(list.pagers.size()) +
                       (list.pagers.size() == 1 ? " Zeile" : " Zeilen") + ", gelesen als " +
                       textEncodingName(list.encoding) + ", getrennt durch \"" +
                       std::string(1, list.separator) + "\"\n";
    for (const FleetPager& p : list.pagers) {
        if (!p.ok())
            continue;
        const ProgSettings& s = p.settings;
        text += "Zeile " + std::to_string(p.line) + ": " + labelAndHolder(p) + " – " +
                optionCaption(OptionGroupId::Tonsys, s.tonsys) + ", " +
                optionCaption(OptionGroupId::Evaluator, s.evaluator) + ", " +
                optionCaption(OptionGroupId::SwitchMode, s.switchMode) + ", " +
                optionCaption(OptionGroupId::LenMode, s.lenMode) + " – " + fleetCallsText(s);
        if (const auto found = last.find(p.label); found != last.end())
            text += " – " + found->second.text + " (" + found->second.time + ")";
        text += "\n";
    }
    print(text);
    const std::vector<std::string> problems = list.problems();
    for (const std::string& problem : problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    return problems.empty() ? kExitOk : kExitFailure;
}

BatchRequest parseBatch(Args& args) {
    BatchRequest r;
    bool haveList = false;
    bool haveInput = false;
    while (!args.done()) {
        if (args.takeValue("--log", r.log) || args.takeValue("--from", r.from))
            continue;
        if (args.takeFlag("--check")) {
            r.check = true;
        } else if (args.takeValue("--input", r.input)) {
            haveInput = true;
        } else if (!r.expert.take(args) && !r.output.take(args)) {
            if (haveList || !args.takeArgument(r.list))
                args.reject();
            haveList = true;
        }
    }
    if (!haveList)
        throw UsageError("Die Liste fehlt.");
    checkLog(r.log);
    if (r.list == "-")
        throw UsageError("Die Liste kann nicht von der Standardeingabe kommen: dort stehen die "
                         "Antworten.");
    checkCheckOptions(r.check, haveInput, r.input, r.output);
    return r;
}

int runBatchWith(const BatchRequest& request, const std::function<void()>& beforeFirstSend,
                 const std::function<AnswerEnd(std::string&)>& readAnswer,
                 const std::function<BatchSend(const FleetPager&, int record,
                                               const std::string& interrupted)>& send) {
    const FleetList list = readListFile(request.list);
    for (const std::string& note : list.notes)
        warn(note);
    std::size_t start = 0;
    if (!request.from.empty()) {
        while (start < list.pagers.size() && list.pagers[start].label != request.from)
            ++start;
        if (start == list.pagers.size())
            throw Failure("Die Kennung " + quoted(request.from) + " steht nicht in der Liste.");
    }

    // The record is opened before anything is sent: one that cannot be written stops here.
    const std::string log = recordName(request.list, request.log);
    std::error_code same;
    if (std::filesystem::equivalent(request.list, log, same))
        throw UsageError("Das Protokoll kann nicht die Liste selbst sein.");
    std::optional<platform::AppendFile> record;
    try {
        record.emplace(log);
        if (record->wasEmpty())
            record->append(fleetRecordHeader());
    } catch (const platform::AppendFileError& e) {
        throw Failure(fleetRecordUnwritable(quoted(log), e.what()));
    }
    beforeFirstSend();

    const std::string device = request.output.speaker          ? kSpeakerDevice
                               : request.output.device.empty() ? "default"
                                                               : request.output.device;
    int sent = 0, skipped = 0, failed = 0;
    std::size_t next = start;
    bool interrupted = false;
    bool recordLost = false; // the list stops after a line the record lacks
    print(std::string("Enter sendet, s überspringt, q beendet.\n"));
    for (; next < list.pagers.size() && !interrupted; ++next) {
        const FleetPager& p = list.pagers[next];
        std::string prompt = std::to_string(next + 1) + "/" + std::to_string(list.pagers.size()) +
                             " " + labelAndHolder(p) + " – " +
                             (p.ok() ? fleetCallsText(p.settings) : fleetLineMessage(p)) + "\n";
        print(prompt);
        if (!p.ok()) {
            print("Nicht gesendet.\n");
            ++failed;
            continue;
        }
        std::string answer;
        for (;;) {
            const AnswerEnd end = readAnswer(answer);
            if (end != AnswerEnd::Line) {
                interrupted = end == AnswerEnd::Interrupted;
                answer = "q";
                break;
            }
            answer = caseFolded(trimmed(answer));
            if (!answer.empty() && answer.back() == '\r')
                answer.pop_back();
            if (answer.empty() || answer == "s" || answer == "q")
                break;
            print("Enter sendet, s überspringt, q beendet.\n");
        }
        if (answer == "q")
            break;

        const std::string time = isoLocalTime(std::chrono::system_clock::now());
        bool checkFailed = false;
        FleetRecordEntry entry;
        entry.time = time;
        entry.label = p.label;
        entry.holder = p.holder;
        entry.settings = p.settings;
        entry.device = device;
        entry.expert = request.expert.values();
        if (answer == "s") {
            entry.result = FleetResult::Skipped;
        } else {
            FleetRecordEntry broken = entry;
            broken.result = FleetResult::Aborted;
            broken.reason = kInterruptedReason;
            const BatchSend outcome = send(p, record->descriptor(), fleetRecordLine(broken));
            interrupted = outcome.interrupted;
            entry.result = outcome.result;
            entry.reason = outcome.interrupted ? kInterruptedReason : outcome.reason;
            entry.check = outcome.check;
            checkFailed = outcome.checkFailed;
        }
        const std::string line = fleetRecordLine(entry);
        bool lost = false;
        try {
            record->append(line);
        } catch (const platform::AppendFileError& e) {
            std::fprintf(stderr, "%s\n", fleetRecordLineLost(quoted(log), e.what(), line).c_str());
            lost = true;
        }
        print(withPeriod(fleetResultText(entry.result, entry.reason)) + "\n");
        if (entry.result == FleetResult::Skipped)
            ++skipped;
        else if (entry.result == FleetResult::Sent && !checkFailed)
            ++sent;
        else
            ++failed;
        if (lost) {
            recordLost = true;
            ++next;
            break;
        }
    }
    const std::size_t open = list.pagers.size() - next;
    std::string summary = std::to_string(sent) + " gesendet, " + std::to_string(skipped) +
                          " übersprungen, " + std::to_string(failed) + " fehlgeschlagen";
    if (open > 0)
        summary += ", " + std::to_string(open) + " offen";
    print(summary + "\n");
    if (interrupted)
        return kExitInterrupted;
    if (recordLost)
        return kExitFailure;
    return sent == static_cast<int>(list.pagers.size() - start) ? kExitOk : kExitFailure;
}

} // namespace cli
