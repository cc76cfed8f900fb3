// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table of files offered for loading (tests/data/prog-data-files.json) that the window,
// zuvela-cli and the page are each run through: the same file refused with the same message.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct ProgDataCase {
    std::string file;
    std::string bytes;
    std::string refusal; // with "{name}" for the file as the front-end names it; empty: loads
    int tonsys = 0, toneLen = 0, evaluator = 0, switchMode = 0;
    std::vector<int> checked;       // the checked addresses, 1 to 4
    std::vector<std::string> texts; // the four address texts
    // The loaded settings as a programming-data file states them, every key written out.
    std::string expectedProfile() const {
        static const char* const sections[] = {"B I", "B II", "B III", "B IV"};
        std::string text =
            "[A]\r\nTS=" + std::to_string(tonsys) + "\r\nTL=" + std::to_string(toneLen) +
            "\r\nAW=" + std::to_string(evaluator) + "\r\nSM=" + std::to_string(switchMode) + "\r\n";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const bool on = std::find(checked.begin(), checked.end(), int(i + 1)) != checked.end();
            text += std::string("[") + sections[i] + "]\r\nRP=" + (on ? "1" : "0") +
                    "\r\nAD=" + texts[i] + "\r\n";
        }
        return text;
    }
    std::string refusalFor(const std::string& name) const {
        std::string text = refusal;
        if (const auto at = text.find("{name}"); at != std::string::npos)
            text.replace(at, 6, name);
        return text;
    }
};

inline std::vector<ProgDataCase> progDataCases() {
    QFile in(QString::fromStdString(
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "data/prog-data-files.json")
            .string()));
    in.open(QIODevice::ReadOnly);
    const QJsonObject table = QJsonDocument::fromJson(in.readAll()).object();
    std::vector<ProgDataCase> cases;
    for (const QJsonValue& value : table["rows"].toArray()) {
        const QJsonObject row = value.toObject();
        ProgDataCase c;
        c.file = row["file"].toString().toStdString();
        c.bytes = row.contains("hex")
                      ? QByteArray::fromHex(row["hex"].toString().toLatin1()).toStdString()
                      : row["text"].toString().toStdString();
        c.bytes += std::string(static_cast<std::size_t>(row["fill"].toInt()), ';');
        if (row.contains("refusal"))
            c.refusal = table[row["refusal"].toString()].toString().toStdString();
        const QJsonObject loads = row["loads"].toObject();
        c.tonsys = loads["tonsys"].toInt();
        c.toneLen = loads["toneLen"].toInt();
        c.evaluator = loads["evaluator"].toInt();
        c.switchMode = loads["switchMode"].toInt();
        for (const QJsonValue& n : loads["checked"].toArray())
            c.checked.push_back(n.toInt());
        for (const QJsonValue& t : loads["texts"].toArray())
            c.texts.push_back(t.toString().toStdString());
        cases.push_back(std::move(c));
    }
    return cases;
}

} // namespace testsupport
