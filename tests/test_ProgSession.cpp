// SPDX-License-Identifier: GPL-3.0-or-later
// The programming session against its invariant, by seeded random walks of a user's events
// (choose, program, send with its question, the end of a send, skip, a record that fails, a
// restart, a second front-end on the same record): every record line names the pager whose
// tones went out, no line is "Gesendet" without its own start, and no addresses go out twice
// in a row without the question.
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgSession.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const char* const kList = "Kennung;Träger;Tonsystem;Auswertung;Ruf 1;Ruf 2\r\n"
                          "W1-01;Jürgen Müß;ZVEI 2;5 Ton;12345;\r\n"
                          "W1-02;Anna Beck;CCIR;4 Ton;2468;1357\r\n"
                          "W1-03;Falsch;ZVEI 9;5 Ton;11111;\r\n"
                          "W1-04;Carl Dorn;ZVEI 1;3 Ton;975;\r\n"
                          "W1-05;Gruppe;ZVEI 1;3 Ton;975;\r\n";

// A record line read back: its label, its result cell and its calls.
struct Line {
    std::string label, result;
    ProgSettings calls;
};

std::vector<Line> recordLines(const std::string& record) {
    std::vector<Line> out;
    const std::vector<CsvRow> rows = parseCsv(decodeText(record).utf8, ';', false);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string>& f = rows[r].fields;
        Line line{f.at(1), f.at(16), {}};
        for (std::size_t n = 0; n < 4; ++n)
            line.calls.addresses[n] = {!f.at(7 + n).empty(), f.at(7 + n)};
        out.push_back(line);
    }
    return out;
}

bool sameCalls(const ProgSettings& a, const ProgSettings& b) {
    for (std::size_t n = 0; n < 4; ++n)
        if (a.addresses[n].checked != b.addresses[n].checked ||
            (a.addresses[n].checked && a.addresses[n].text != b.addresses[n].text))
            return false;
    return true;
}

TEST(ProgSession, RandomWalksKeepEveryRecordLineTrueToTheTonesSent) {
    const FleetList list = readFleetList(kList, "\"L.csv\"");
    ASSERT_EQ(list.sendable(), 4);
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        std::string record;
        bool failNext = false;
        auto writer = [&](std::string_view bytes) -> std::string {
            if (std::exchange(failNext, false))
                return "kein Speicherplatz mehr";
            record += bytes;
            return {};
        };
        ProgSession session;
        session.openList(list, record, "\"L-Protokoll.csv\"", writer);
        // The oracle: the whole send before (its calls), and the tones of the running send.
        std::optional<ProgSettings> lastWhole;
        std::optional<TProgTones> playing;
        std::optional<std::string> playingLabel;
        for (int step = 0; step < 60; ++step) {
            switch (pick(7)) {
            case 0: // a line chosen in the list (a bad one is refused with its message)
                if (const int row = pick(5); row == 2) {
                    EXPECT_EQ(session.choose(row).rfind("Zeile 4 (W1-03):", 0), 0U);
                } else if (!session.sending()) {
                    EXPECT_EQ(session.choose(row), "");
                }
                break;
            case 1: { // "Programmieren" with what the main window shows: a line's or typed
                if (session.sending())
                    break;
                ProgSettings shown = list.pagers[static_cast<std::size_t>(pick(2)) * 3].settings;
                if (pick(3) == 0)
                    shown.addresses[0].text.back() = static_cast<char>('6' + pick(3));
                EXPECT_TRUE(session.program(shown).ok);
                break;
            }
            case 2:
            case 3: { // "OK und los !", the question answered either way
                if (!session.programmed() || session.sending())
                    break;
                const std::size_t before = record.size();
                SendPlan plan = session.planSend({}, "default", "T");
                const bool repeat = lastWhole && sameCalls(*lastWhole, session.settings());
                EXPECT_EQ(plan.step == SendPlan::Step::Ask, repeat);
                if (plan.step == SendPlan::Step::Ask && pick(2) == 0)
                    plan = session.planSend({}, "default", "T", true);
                if (plan.step != SendPlan::Step::Play) {
                    EXPECT_EQ(record.size(), before) << "nothing recorded, nothing sent";
                    break;
                }
                EXPECT_EQ(plan.samples, progSamples(session.tones(), ExpertValues{}));
                playing = session.tones();
                playingLabel.reset();
                if (plan.line >= 0) {
                    const FleetPager& p = list.pagers[static_cast<std::size_t>(plan.line)];
                    EXPECT_EQ(progTones(p.settings).tones, *playing);
                    const Line start = recordLines(record).back();
                    EXPECT_EQ(start.label, p.label);
                    EXPECT_EQ(start.result, kFleetStarted);
                    EXPECT_TRUE(sameCalls(start.calls, p.settings));
                    playingLabel = p.label;
                }
                break;
            }
            case 4: { // the send ends one way or another
                if (!session.sending())
                    break;
                const SendEnd end = static_cast<SendEnd>(pick(4));
                failNext = pick(8) == 0;
                const bool failing = failNext && playingLabel;
                const std::size_t lines = recordLines(record).size();
                const std::string lost = session.endSend({end, "", ""}, "T");
                EXPECT_EQ(!lost.empty(), failing);
                failNext = false;
                if (playingLabel && !failing) {
                    const std::vector<Line> written = recordLines(record);
                    ASSERT_EQ(written.size(), lines + 1);
                    EXPECT_EQ(written.back().label, *playingLabel);
                    EXPECT_EQ(written[written.size() - 2].result, kFleetStarted);
                }
                lastWhole = end == SendEnd::Sent ? std::optional(session.settings()) : std::nullopt;
                if (end == SendEnd::Sent && playingLabel)
                    for (const FleetPager& p : list.pagers)
                        if (p.label == *playingLabel)
                            lastWhole = p.settings;
                // After a whole send the next line is chosen and its tones programmed at once.
                if (end == SendEnd::Sent && session.chosen() >= 0 &&
                    session.programmedLine() >= 0) {
                    EXPECT_EQ(
                        session.tones(),
                        progTones(list.pagers[static_cast<std::size_t>(session.chosen())].settings)
                            .tones);
                }
                playing.reset();
                break;
            }
            case 5: // "Überspringen"
                if (!session.sending())
                    session.skip("default", {}, "T");
                break;
            case 6: { // a restart, or another front-end on the same record: the question stays
                if (session.sending())
                    break;
                ProgSession again;
                again.openList(list, record, "\"L-Protokoll.csv\"", writer);
                // The record knows the sends of its lines, not those of typed addresses.
                const std::optional<FleetLastSend> fromRecord = fleetLastSend(record);
                lastWhole = fromRecord ? std::optional(fromRecord->settings) : std::nullopt;
                session = std::move(again);
                break;
            }
            }
        }
        // Every outcome line follows the start line of its own pager.
        const std::vector<Line> written = recordLines(record);
        for (std::size_t n = 0; n < written.size(); ++n)
            if (written[n].result != kFleetStarted && written[n].result != kFleetSkipped) {
                ASSERT_GT(n, 0U);
                EXPECT_EQ(written[n - 1].label, written[n].label);
                EXPECT_EQ(written[n - 1].result, kFleetStarted);
            }
    }
}

TEST(ProgSession, TheRecordTellsSendsThatNeverEndedAndTheListThatCannotSaySendsNothing) {
    // A start line with no outcome after it reads as such; the last whole send is the one the
    // question is asked against, a skip between changing nothing.
    std::string record;
    ProgSession session;
    session.openList(readFleetList(kList, "\"L.csv\""), "", "\"L-Protokoll.csv\"",
                     [&](std::string_view bytes) {
                         record += bytes;
                         return std::string();
                     });
    ASSERT_EQ(session.choose(0), "");
    ASSERT_EQ(session.planSend({}, "default", "T1").step, SendPlan::Step::Play);
    EXPECT_EQ(fleetLastResults(record).at("W1-01").text, kFleetUnfinished);
    EXPECT_EQ(session.endSend({SendEnd::Sent, "", ""}, "T2"), "");
    EXPECT_EQ(session.chosen(), 1);
    session.skip("default", {}, "T3");
    EXPECT_EQ(session.chosen(), 3);
    EXPECT_EQ(session.nextUnsentLine(), 1) << "skipped is not sent";
    ASSERT_TRUE(fleetLastSend(record));
    EXPECT_EQ(fleetLastSend(record)->label, "W1-01");
    ASSERT_EQ(session.planSend({}, "default", "T4").step, SendPlan::Step::Play);
    EXPECT_EQ(session.endSend({SendEnd::Sent, "", ""}, "T5"), "");
    // W1-05 shares W1-04's call: asked, by the record too after a restart.
    EXPECT_EQ(session.chosen(), 4);
    EXPECT_EQ(session.planSend({}, "default", "T6").text,
              "Die Rufadresse 975 wurde eben schon an W1-04 gesendet. Trotzdem senden?");
    ProgSession restarted;
    restarted.openList(readFleetList(kList, "\"L.csv\""), record, "\"L-Protokoll.csv\"", {});
    ASSERT_EQ(restarted.choose(4), "");
    EXPECT_EQ(restarted.planSend({}, "default", "T7").step, SendPlan::Step::Ask);

    // A list whose calls stand under no column of ours is refused whole, naming what it read.
    const FleetList misnamed = readFleetList("Kennung;Ruf1\r\nG1;12345\r\n", "Die Datei f.csv");
    EXPECT_EQ(misnamed.refusal, "Die Datei f.csv ist keine Liste: ihre erste Zeile nennt keine der "
                                "Spalten Ruf 1 bis Ruf 4 (gelesen: Kennung, Ruf1).");
}

} // namespace
