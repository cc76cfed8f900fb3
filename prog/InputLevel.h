// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Eingangspegel …": a small window over the mixer of the check's input, showing the lines of
// its capture side with their level (%) and whether they are on, and setting them at once.
// It follows changes made elsewhere through the mixer's change notification. The mixer is the
// input's card's for a card's own devices (hw:, plughw:, sysdefault:), the source's own for a
// sound server's source, and the server's default source's for any other input
// (platform::alsaMixerControlOf); its lines are named in German where the name is a common one.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QSlider;
class TAudio;
namespace platform {
class WaveMixer;
}

class InputLevelWindow : public QDialog {
public:
    // Opens the window for the input (ALSA name; empty: the default input); null with the
    // message when that input has no mixer with a capture side.
    static InputLevelWindow* open(QWidget* parent, const QString& input, QString& message);
    ~InputLevelWindow() override;

private:
    InputLevelWindow(QWidget* parent, std::unique_ptr<platform::WaveMixer> layer);
    bool build(const std::string& control);
    // A line of the capture side changed: its row shows what the mixer holds now.
    void follow(uint16_t destination, uint16_t source);

    struct Row {
        uint16_t source;
        QSlider* level = nullptr;
        QLabel* value = nullptr;
        QCheckBox* on = nullptr;
    };
    void showRow(const Row& row);

    std::unique_ptr<platform::WaveMixer> layer_;
    std::unique_ptr<TAudio> audio_;
    std::vector<Row> rows_;
};
