// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's functions as the web page calls them. Settings come and go as plain objects
// shaped like the programming-data file's settings ({tonsys, toneLen, evaluator, switchMode,
// addresses: [{checked, text}]}); address texts are JavaScript strings here and Windows-1252
// inside the engine. Every rule and message comes from core/; this file only converts.
#include "Addresses.h"
#include "Cp1252.h"
#include "DecodeReport.h"
#include "ExpertValues.h"
#include "FleetList.h"
#include "FleetRecord.h"
#include "OptionGroups.h"
#include "ProfileBool.h"
#include "ProgDataFile.h"
#include "ProgEngine.h"
#include "ProgListing.h"
#include "ProgSession.h"
#include "Recording.h"
#include "SendTimeline.h"
#include "SequenceDecoder.h"
#include "SettingsLink.h"
#include "TestCall.h"
#include "ToneTable.h"
#include "UserTexts.h"
#include "WaveWriter.h"

#include <cmath>
#include <emscripten/bind.h>
#include <emscripten/val.h>
#include <functional>

using emscripten::val;

namespace {

const TToneTable& table() {
    static const TToneTable t = [] {
        TToneTable filled;
        fillToneTable(filled);
        return filled;
    }();
    return t;
}

uint8_t byteOf(const val& v) {
    return static_cast<uint8_t>(v.as<int>());
}

ProgSettings settingsFrom(const val& js) {
    ProgSettings s;
    s.tonsys = byteOf(js["tonsys"]);
    s.lenMode = byteOf(js["toneLen"]);
    s.evaluator = byteOf(js["evaluator"]);
    s.switchMode = byteOf(js["switchMode"]);
    for (std::size_t n = 0; n < s.addresses.size(); ++n) {
        const val a = js["addresses"][n];
        s.addresses[n] = {a["checked"].as<bool>(),
                          platform::utf8ToCp1252(a["text"].as<std::string>())};
    }
    return s;
}

val settingsTo(const ProgSettings& s) {
    val js = val::object();
    js.set("tonsys", s.tonsys);
    js.set("toneLen", s.lenMode);
    js.set("evaluator", s.evaluator);
    js.set("switchMode", s.switchMode);
    val addresses = val::array();
    for (const AddressSlot& a : s.addresses) {
        val address = val::object();
        address.set("checked", a.checked);
        address.set("text", platform::cp1252ToUtf8(a.text));
        addresses.call<void>("push", address);
    }
    js.set("addresses", addresses);
    return js;
}

val bytesTo(const uint8_t* data, std::size_t size) {
    // A copy: a view into the engine's memory would go stale when the memory grows.
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(size, data));
}

std::vector<uint8_t> bytesFrom(const val& array) {
    return emscripten::convertJSArrayToNumberVector<uint8_t>(array);
}

template <typename Container> val arrayOf(const Container& items) {
    val out = val::array();
    for (const auto& item : items)
        out.call<void>("push", item);
    return out;
}

val error(const std::string& message) {
    val out = val::object();
    out.set("message", message);
    return out;
}

ExpertValues expertFrom(const val& js) {
    ExpertValues e;
    e.toneLength = static_cast<uint16_t>(js["toneLength"].as<int>());
    e.tonePause = static_cast<uint16_t>(js["tonePause"].as<int>());
    e.blockPause = static_cast<uint16_t>(js["blockPause"].as<int>());
    e.amplitude = byteOf(js["amplitude"]);
    return e;
}

TProgTones tonesFrom(const val& js) {
    TProgTones tones{};
    for (std::size_t i = 0; i < tones.size(); ++i)
        tones[i] = static_cast<uint16_t>(js[i].as<int>());
    return tones;
}

// The seven tone systems from the engine's table: the one tone-length button each allows (their
// captions come with the option groups).
val toneSystems() {
    val out = val::array();
    for (uint8_t n = 1; n <= kToneSystems; ++n) {
        val system = val::object();
        system.set("toneLengthButton", toneLengthButtonFor(n));
        out.call<void>("push", system);
    }
    return out;
}

// The option groups from the engine's table, in its order (tone system, tone length, Normal /
// Langton, evaluator, switch mode): {caption, name, fileKey, cliOption, count, options, words,
// hints}, an
// absent word, key or hint as null.
val optionGroups() {
    auto textOrNull = [](const char* text) { return text ? val(std::string(text)) : val::null(); };
    val out = val::array();
    for (const OptionGroup& g : kOptionGroups) {
        val group = val::object();
        group.set("caption", std::string(g.caption));
        group.set("name", std::string(g.name));
        group.set("fileKey", textOrNull(g.fileKey));
        group.set("cliOption", textOrNull(g.cliOption));
        group.set("count", g.count);
        val options = val::array(), words = val::array(), hints = val::array();
        for (int n = 0; n < g.count; ++n) {
            options.call<void>("push", std::string(g.options[static_cast<std::size_t>(n)]));
            words.call<void>("push", textOrNull(g.words[static_cast<std::size_t>(n)]));
            hints.call<void>("push", textOrNull(g.hints[static_cast<std::size_t>(n)]));
        }
        group.set("options", options);
        group.set("words", words);
        group.set("hints", hints);
        out.call<void>("push", group);
    }
    return out;
}

// The page's names of the expert values (as expertFrom reads them), in kExpertRanges' order.
constexpr std::array<const char*, kExpertRanges.size()> kExpertNames = {"toneLength", "tonePause",
                                                                        "blockPause", "amplitude"};

// The sliders' ranges by the page's names, from the engine's table.
val expertRanges() {
    val out = val::object();
    for (std::size_t i = 0; i < kExpertRanges.size(); ++i) {
        const ExpertRange& r = *kExpertRanges[i];
        val range = val::object();
        range.set("minimum", r.minimum);
        range.set("maximum", r.maximum);
        range.set("step", r.step);
        range.set("initial", r.initial);
        out.set(kExpertNames[i], range);
    }
    return out;
}

// A slider's label as the dialog shows it: "Tonlänge (100 ms)".
std::string expertLabel(const std::string& name, int value) {
    for (std::size_t i = 0; i < kExpertRanges.size(); ++i)
        if (name == kExpertNames[i])
            return kExpertRanges[i]->label(value);
    return {};
}

val startSettings() {
    return settingsTo(ProgSettings{});
}

int addressLength(int evaluator) {
    return adresseLenForEvaluator(evaluator);
}

// The character typing inserts for a key (a code point), or 0.
int filterKey(int key) {
    return static_cast<int>(filterAddressKey(static_cast<char32_t>(key)));
}

std::string cut(const std::string& text, int evaluator) {
    return platform::cp1252ToUtf8(
        cutAddress(platform::utf8ToCp1252(text), adresseLenForEvaluator(evaluator)));
}

std::string normalise(const std::string& text, int evaluator) {
    return platform::cp1252ToUtf8(
        normaliseRepeats(platform::utf8ToCp1252(text), adresseLenForEvaluator(evaluator)));
}

// The address check on completed settings, a character without a tone in the system included:
// its message, or an empty text.
std::string check(const val& js) {
    return addressesProblem(settingsFrom(js), table()).value_or("");
}

// "Programmieren": the message, or the 26 tones with the dialog's listing.
val program(const val& js) {
    try {
        const ProgTonesResult result = progTones(settingsFrom(js), table());
        if (!result.ok)
            return error(result.message);
        val out = val::object();
        out.set("tones", arrayOf(result.tones));
        out.set("listing", arrayOf(progListingLines(result.tones)));
        return out;
    } catch (const EConvertError& e) {
        return error(withPeriod(e.what()));
    }
}

// The timeline of a send from the engine: the segments the dialog sends, each with its samples
// (start, end: its first sample and one past its last) and listingLine, the listing line the
// dialog marks while it plays (a pause keeps the tone before it; -1 before the first tone);
// line is that of the tone sounding, -1 for a pause.
val timelineTo(const std::vector<TimelineSegment>& timeline) {
    val out = val::array();
    for (const TimelineSegment& s : timeline) {
        val segment = val::object();
        segment.set("frequency", s.segment.frequency);
        segment.set("duration", s.segment.duration);
        segment.set("samples", static_cast<double>(s.endSample - s.firstSample));
        segment.set("start", static_cast<double>(s.firstSample));
        segment.set("end", static_cast<double>(s.endSample));
        segment.set("line", s.isTone() ? s.line : -1);
        segment.set("listingLine", s.line);
        out.call<void>("push", segment);
    }
    return out;
}

val segments(const val& jsTones, const val& jsExpert) {
    return timelineTo(progTimeline(tonesFrom(jsTones), expertFrom(jsExpert)));
}

val render(const val& jsTones, const val& jsExpert) {
    const std::vector<uint8_t> samples = progSamples(tonesFrom(jsTones), expertFrom(jsExpert));
    return bytesTo(samples.data(), samples.size());
}

val waveFile(const val& samples) {
    const std::string bytes = waveFileBytes(bytesFrom(samples), kSampleRate);
    return bytesTo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The programming-data file's bytes for completed and checked settings.
val profileBytes(const val& js) {
    const std::string text = progDataProfile(settingsFrom(js)).text();
    return bytesTo(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Loads a file's bytes into the current settings by the rules every front-end loads by: what is
// no programming data is refused with the window's message (name quoted as it quotes it) and
// changes nothing; a value of "RP" that is no Boolean stops the loading there.
val loadProfile(const val& bytes, const val& current, const std::string& name) {
    const std::vector<uint8_t> data = bytesFrom(bytes);
    const ProgDataLoad load =
        loadProgDataBytes(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                          settingsFrom(current), progDataQuoted(name));
    val out = val::object();
    if (!load.refusal.empty()) {
        out.set("refusal", load.refusal);
        return out;
    }
    if (!load.stopped.empty())
        out.set("message", withPeriod(load.stopped));
    out.set("settings", settingsTo(load.settings));
    return out;
}

// How many bytes of a file the page reads at most: one beyond the limit tells a file too large.
double maxProfileBytes() {
    return static_cast<double>(progDataMaxFileSize) + 1;
}

std::string fileName(const std::string& chosen) {
    return progDataFileName(chosen);
}

// A test call from a completed address, with the settings' tone system and evaluator.
val testCall(const std::string& address, const val& js, int amplitude) {
    const TestCallSamples call = testCallSamples(settingsFrom(js), platform::utf8ToCp1252(address),
                                                 static_cast<uint8_t>(amplitude), false, table());
    if (!call.message.empty())
        return error(call.message);
    val out = val::object();
    out.set("samples", bytesTo(call.samples.data(), call.samples.size()));
    return out;
}

// The texts the page shows as the desktop does, from the engine: the sound card's failure line,
// the line of a broken-off test call ("%1" stands for the reason) and the status line's.
val texts() {
    val out = val::object();
    out.set("soundCardUnavailable", std::string(kSoundCardUnavailable));
    out.set("testCallAborted", testCallAborted("%1"));
    out.set("statusSending", std::string(kStatusSending));
    out.set("statusSent", std::string(kStatusSent));
    out.set("statusPlayed", std::string(kStatusPlayed));
    out.set("statusStopped", std::string(kStatusStopped));
    out.set("statusBroken", std::string(kStatusBroken));
    out.set("statusNotSent", std::string(kStatusNotSent));
    return out;
}

// A recording read back to the settings, with zuvela-cli's report of it (the tones' listing,
// the settings, the measured lengths and the decoder's notes); or the decoder's message.
val decodeRecording(const std::function<Recording()>& read) {
    try {
        const DecodedSequence d = decodeSequence(read(), table());
        val out = val::object();
        out.set("settings", settingsTo(d.settings));
        out.set("report", decodeReport(d));
        return out;
    } catch (const RecordingError& e) {
        return error(e.what());
    } catch (const DecodeError& e) {
        return error(noSequenceMessage(e));
    }
}

// A WAV file's bytes.
val decode(const val& bytes) {
    return decodeRecording([&] { return readWav(bytesFrom(bytes)); });
}

// The same for samples as Web Audio records them (floats, full scale +-1) at a rate: no WAV file
// needs to be written for the engine to read them.
val decodeSamples(const val& samples, double sampleRate) {
    return decodeRecording([&] {
        return Recording{sampleRate, emscripten::convertJSArrayToNumberVector<float>(samples)};
    });
}

std::string bytesText(const val& bytes) {
    const std::vector<uint8_t> data = bytesFrom(bytes);
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

val textBytes(const std::string& text) {
    return bytesTo(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// A fleet list file's bytes read by the rules every front-end reads by: the refusal (the name
// quoted as the window quotes it), or every line with its settings, its calls and, for a line
// that cannot be sent, its message ("Zeile 4 (W1-07): ..."); the notes and problems as core
// words them.
val fleetListTo(const FleetList& list) {
    val out = val::object();
    if (!list.refusal.empty()) {
        out.set("refusal", list.refusal);
        return out;
    }
    out.set("encoding", std::string(textEncodingName(list.encoding)));
    out.set("separator", std::string(1, list.separator));
    out.set("notes", arrayOf(list.notes));
    out.set("problems", arrayOf(list.problems()));
    val pagers = val::array();
    for (const FleetPager& p : list.pagers) {
        val pager = val::object();
        pager.set("line", p.line);
        pager.set("label", p.label);
        pager.set("holder", p.holder);
        pager.set("ok", p.ok());
        pager.set("message", p.ok() ? std::string() : fleetLineMessage(p));
        pager.set("calls", fleetCallsText(p.settings));
        pager.set("settings", settingsTo(p.settings));
        pagers.call<void>("push", pager);
    }
    out.set("pagers", pagers);
    return out;
}

val readFleet(const val& bytes, const std::string& name) {
    return fleetListTo(readFleetList(bytesText(bytes), "\"" + name + "\""));
}

// The list as core writes it (UTF-8 with BOM, ';', every column): the lines that cannot be sent
// as they were read.
val fleetExport(const val& bytes, const std::string& name) {
    return textBytes(fleetListText(readFleetList(bytesText(bytes), name).pagers));
}

val newFleet(const val& js) {
    return textBytes(newFleetListText(settingsFrom(js)));
}

double maxFleetBytes() {
    return static_cast<double>(kFleetListMaxBytes) + 1;
}

// One record line from {time, label, holder, settings, device, expert, result ("sent",
// "aborted", "skipped"), reason}.
std::string recordLine(const val& js) {
    FleetRecordEntry e;
    e.time = js["time"].as<std::string>();
    e.label = js["label"].as<std::string>();
    e.holder = js["holder"].as<std::string>();
    e.settings = settingsFrom(js["settings"]);
    e.device = js["device"].as<std::string>();
    e.expert = expertFrom(js["expert"]);
    const std::string result = js["result"].as<std::string>();
    e.result = result == "sent"      ? FleetResult::Sent
               : result == "skipped" ? FleetResult::Skipped
                                     : FleetResult::Aborted;
    e.reason = js["reason"].isString() ? js["reason"].as<std::string>() : std::string();
    return fleetRecordLine(e);
}

// Each label's last result in a record: {label: {time, text}}.
val lastResultsTo(const std::map<std::string, FleetLastResult>& results) {
    val out = val::object();
    for (const auto& [label, last] : results) {
        val entry = val::object();
        entry.set("time", last.time);
        entry.set("text", last.text);
        out.set(label, entry);
    }
    return out;
}

val lastResults(const std::string& record) {
    return lastResultsTo(fleetLastResults(record));
}

// A moment as the record writes it: the browser gives the clock (milliseconds since 1970) and
// its time zone's offset (minutes east of UTC); the engine has no time zone of its own.
std::string timeText(double milliseconds, int offsetMinutes) {
    return isoTime(static_cast<std::int64_t>(std::floor(milliseconds / 1000)), offsetMinutes);
}

std::string repeatQuestion(const val& before, const std::string& label, const val& next) {
    return fleetRepeatQuestion(settingsFrom(before), label, settingsFrom(next));
}

// The programming session as the page drives it (one per page): the page feeds it the user's
// events and shows what it says. Its record is the browser's storage, written by a JavaScript
// function that takes the bytes to append (a Uint8Array, so that the header's byte order mark
// is kept) and returns "" or why it could not, in German.
class WebSession {
public:
    // A list file's bytes: the refusal (the list before stays open), or the list as readFleet
    // gives it, opened with its record's text.
    val openList(const val& bytes, const std::string& name, const std::string& record, val writer) {
        FleetList list = readFleetList(bytesText(bytes), "\"" + name + "\"");
        val out = fleetListTo(list);
        if (list.refusal.empty())
            session_.openList(std::move(list), record, "\"" + fleetRecordNameFor(name) + "\"",
                              [writer](std::string_view line) {
                                  const auto* data = reinterpret_cast<const uint8_t*>(line.data());
                                  return writer(bytesTo(data, line.size())).as<std::string>();
                              });
        return out;
    }
    void closeList() { session_.closeList(); }
    bool hasList() const { return session_.hasList(); }
    void recordChanged(const std::string& record) { session_.recordChanged(record); }
    val lastResults() const { return lastResultsTo(session_.lastResults()); }
    int nextUnsentLine() const { return session_.nextUnsentLine(); }
    std::string choose(int index) { return session_.choose(index); }
    int chosen() const { return session_.chosen(); }

    // "Programmieren" with the main window's settings: the message, or the tones with the
    // listing (as program gives them).
    val program(const val& js) {
        try {
            const ProgTonesResult result = session_.program(settingsFrom(js), table());
            return result.ok ? tones() : error(result.message);
        } catch (const EConvertError& e) {
            return error(withPeriod(e.what()));
        }
    }
    // The tones the next send plays, with their listing; the dialog shows these.
    val tones() const {
        val out = val::object();
        out.set("tones", arrayOf(session_.tones()));
        out.set("listing", arrayOf(progListingLines(session_.tones())));
        return out;
    }
    bool programmed() const { return session_.programmed(); }
    int programmedLine() const { return session_.programmedLine(); }
    unsigned tonesVersion() const { return session_.tonesVersion(); }
    val settings() const { return settingsTo(session_.settings()); }

    // "OK und los !": {step: "play", samples, segments (as segments gives them), line}, or
    // {step: "ask" or "refused", text}.
    val planSend(const val& expert, const std::string& device, const std::string& time,
                 bool confirmed) {
        const SendPlan plan = session_.planSend(expertFrom(expert), device, time, confirmed);
        val out = val::object();
        out.set("step", std::string(plan.step == SendPlan::Step::Play  ? "play"
                                    : plan.step == SendPlan::Step::Ask ? "ask"
                                                                       : "refused"));
        out.set("text", plan.text);
        if (plan.step == SendPlan::Step::Play) {
            out.set("samples", bytesTo(plan.samples.data(), plan.samples.size()));
            out.set("segments", timelineTo(plan.timeline));
            out.set("line", plan.line);
        }
        return out;
    }
    bool sending() const { return session_.sending(); }
    // The send's end, {end: "sent", "stopped", "broken" or "checkFailed", reason, check}: a
    // message to show, or "".
    std::string endSend(const val& js, const std::string& time) {
        SendOutcome outcome;
        const std::string end = js["end"].as<std::string>();
        outcome.end = end == "sent"          ? SendEnd::Sent
                      : end == "stopped"     ? SendEnd::Stopped
                      : end == "checkFailed" ? SendEnd::CheckFailed
                                             : SendEnd::Broken;
        if (js["reason"].isString())
            outcome.reason = js["reason"].as<std::string>();
        if (js["check"].isString())
            outcome.check = js["check"].as<std::string>();
        return session_.endSend(outcome, time);
    }
    std::string skip(const std::string& device, const val& expert, const std::string& time) {
        return session_.skip(device, expertFrom(expert), time);
    }
    bool listDone() const { return session_.listDone(); }
    bool recordLost() const { return session_.recordLost(); }

private:
    ProgSession session_;
};

} // namespace

EMSCRIPTEN_BINDINGS(zuvela) {
    emscripten::function("toneSystems", &toneSystems);
    emscripten::function("optionGroups", &optionGroups);
    emscripten::function("expertRanges", &expertRanges);
    emscripten::function("expertLabel", &expertLabel);
    emscripten::function("startSettings", &startSettings);
    emscripten::function("addressLength", &addressLength);
    emscripten::function("filterKey", &filterKey);
    emscripten::function("cutAddress", &cut);
    emscripten::function("normaliseRepeats", &normalise);
    emscripten::function("checkAddresses", &check);
    emscripten::function("program", &program);
    emscripten::function("segments", &segments);
    emscripten::function("render", &render);
    emscripten::function("waveFile", &waveFile);
    emscripten::function("profileBytes", &profileBytes);
    emscripten::function("loadProfile", &loadProfile);
    emscripten::function("fileName", &fileName);
    emscripten::function("maxProfileBytes", &maxProfileBytes);
    emscripten::function("testCall", &testCall);
    emscripten::function("decode", &decode);
    emscripten::function("decodeSamples", &decodeSamples);
    emscripten::function("texts", &texts);
    emscripten::function("readFleetList", &readFleet);
    emscripten::function("fleetListText", &fleetExport);
    emscripten::function("newFleetListText", &newFleet);
    emscripten::function("maxFleetListBytes", &maxFleetBytes);
    emscripten::class_<WebSession>("ProgSession")
        .constructor<>()
        .function("openList", &WebSession::openList)
        .function("closeList", &WebSession::closeList)
        .function("hasList", &WebSession::hasList)
        .function("recordChanged", &WebSession::recordChanged)
        .function("lastResults", &WebSession::lastResults)
        .function("nextUnsentLine", &WebSession::nextUnsentLine)
        .function("choose", &WebSession::choose)
        .function("chosen", &WebSession::chosen)
        .function("program", &WebSession::program)
        .function("tones", &WebSession::tones)
        .function("programmed", &WebSession::programmed)
        .function("programmedLine", &WebSession::programmedLine)
        .function("tonesVersion", &WebSession::tonesVersion)
        .function("settings", &WebSession::settings)
        .function("planSend", &WebSession::planSend)
        .function("sending", &WebSession::sending)
        .function("endSend", &WebSession::endSend)
        .function("skip", &WebSession::skip)
        .function("listDone", &WebSession::listDone)
        .function("recordLost", &WebSession::recordLost);
    emscripten::function("fleetRecordHeader", &fleetRecordHeader);
    emscripten::function("fleetRecordLine", &recordLine);
    emscripten::function("fleetLastResults", &lastResults);
    emscripten::function("fleetRecordName", &fleetRecordNameFor);
    emscripten::function("fleetRecordUnwritable", &fleetRecordUnwritable);
    emscripten::function("fleetRecordLineLost", &fleetRecordLineLost);
    emscripten::function("isoTime", &timeText);
    emscripten::function("fleetRepeatQuestion", &repeatQuestion);
}

// The settings as a link carries them, read by the engine's rules with a note for every value
// it ignores: {names, taken, settings, expert, notes}.
namespace {

val readLink(const std::string& query, const val& start) {
    const SettingsLink link = readSettingsLink(query, settingsFrom(start));
    val out = val::object();
    out.set("names", link.names);
    out.set("taken", link.taken);
    out.set("settings", settingsTo(link.settings));
    val expert = val::object();
    expert.set("toneLength", link.expert.toneLength);
    expert.set("tonePause", link.expert.tonePause);
    expert.set("blockPause", link.expert.blockPause);
    expert.set("amplitude", link.expert.amplitude);
    out.set("expert", expert);
    out.set("notes", arrayOf(link.notes));
    return out;
}

std::string linkQuery(const val& settings, const val& expert) {
    return settingsLinkQuery(settingsFrom(settings), expertFrom(expert));
}

} // namespace

EMSCRIPTEN_BINDINGS(zuvela_link) {
    emscripten::function("readSettingsLink", &readLink);
    emscripten::function("settingsLinkQuery", &linkQuery);
}
