// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet list's commands without sound: list checks and prints a list, and batch's course
// through it (prompt, answer, record, summary). Sending a line is Batch.cpp's.
#include "Commands.h"

#include "AppendFile.h"
#include "OptionGroups.h"

#include <chrono>
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
                 const std::function<BatchSend(const SendPlan&, int record,
                                               const std::string& interrupted)>& send) {
    FleetList list = readListFile(request.list);
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
    } catch (const platform::AppendFileError& e) {
        throw Failure(fleetRecordUnwritable(quoted(log), e.what()));
    }
    const std::size_t total = list.pagers.size();
    ProgSession session;
    session.openList(std::move(list), record->wasEmpty() ? std::string() : readRecord(log),
                     quoted(log), [&](std::string_view bytes) -> std::string {
                         try {
                             record->append(std::string(bytes));
                             return {};
                         } catch (const platform::AppendFileError& e) {
                             return e.what();
                         }
                     });
    beforeFirstSend();

    const std::string device = request.output.speaker          ? kSpeakerDevice
                               : request.output.device.empty() ? "default"
                                                               : request.output.device;
    const ExpertValues expert = request.expert.values();
    auto now = [] { return isoLocalTime(std::chrono::system_clock::now()); };
    int sent = 0, skipped = 0, failed = 0;
    std::size_t next = start;
    bool interrupted = false;
    bool recordLost = false; // the list stops after a line the record lacks
    // One answer line: empty (send), "s", "q", or for a question "j"; Ctrl+C and the end of
    // the input end the batch as "q" does.
    auto answer = [&](bool question) {
        std::string text;
        const AnswerEnd end = readAnswer(text);
        if (end != AnswerEnd::Line) {
            interrupted = end == AnswerEnd::Interrupted;
            return std::string(question ? "" : "q");
        }
        text = caseFolded(trimmed(text));
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return text;
    };
    print(std::string("Enter sendet, s überspringt, q beendet.\n"));
    for (; next < total && !interrupted; ++next) {
        const FleetPager& p = session.list().pagers[next];
        print(std::to_string(next + 1) + "/" + std::to_string(total) + " " + labelAndHolder(p) +
              " – " + (p.ok() ? fleetCallsText(p.settings) : fleetLineMessage(p)) + "\n");
        if (!p.ok()) {
            print("Nicht gesendet.\n");
            ++failed;
            continue;
        }
        session.choose(static_cast<int>(next));
        std::string said = answer(false);
        while (!said.empty() && said != "s" && said != "q") {
            print("Enter sendet, s überspringt, q beendet.\n");
            said = answer(false);
        }
        if (said == "q")
            break;
        SendPlan plan;
        if (said.empty()) {
            plan = session.planSend(expert, device, now());
            if (plan.step == SendPlan::Step::Ask) {
                print(plan.text + " [j/N] ");
                if (answer(true) == "j")
                    plan = session.planSend(expert, device, now(), true);
                else
                    said = "s"; // no, no answer or the end of the input: not sent
                if (interrupted)
                    break;
            }
        }
        std::string lost;
        std::string result;
        if (said == "s") {
            lost = session.skip(device, expert, now());
            result = kFleetSkipped;
            ++skipped;
        } else if (plan.step == SendPlan::Step::Refused) {
            lost = plan.text; // the record took no start line: nothing was sent
        } else {
            SendOutcome stopped{SendEnd::Stopped, kInterruptedReason, {}};
            const BatchSend outcome =
                send(plan, record->descriptor(), session.outcomeLine(stopped, now()));
            interrupted = outcome.interrupted;
            SendOutcome ended = outcome.outcome;
            if (outcome.interrupted)
                ended = stopped;
            lost = session.endSend(ended, now());
            result = fleetResultText(ended.end == SendEnd::Sent || ended.end == SendEnd::CheckFailed
                                         ? FleetResult::Sent
                                         : FleetResult::Aborted,
                                     ended.reason);
            if (ended.end == SendEnd::Sent)
                ++sent;
            else
                ++failed;
        }
        if (!lost.empty()) {
            std::fprintf(stderr, "%s\n", lost.c_str());
            recordLost = true;
            if (plan.step == SendPlan::Step::Play)
                ++next; // sent, only not recorded: not open
            break;
        }
        print(withPeriod(result) + "\n");
    }
    const std::size_t open = total - next;
    std::string summary = std::to_string(sent) + " gesendet, " + std::to_string(skipped) +
                          " übersprungen, " + std::to_string(failed) + " fehlgeschlagen";
    if (open > 0)
        summary += ", " + std::to_string(open) + " offen";
    print(summary + "\n");
    if (interrupted)
        return kExitInterrupted;
    if (recordLost)
        return kExitFailure;
    return sent == static_cast<int>(total - start) ? kExitOk : kExitFailure;
}

} // namespace cli
