// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check at the cable for the programming dialog: with "Prüfen" chosen (in the "Soundkarte"
// option's context menu, like the output device), a send is recorded from the chosen input
// through the recorder of an audio component of its own, from a little before the first tone
// to a little after the last, and compared tone by tone with what was sent. The choice and
// the input's ALSA name persist in the user's settings.
#include "CheckRecording.h"
#include "SendCheck.h"

#include <QObject>
#include <QString>


class QMenu;
class QWidget;

// The check's report, a line a tone, in a window of its own over parent.
void showCheckReport(QWidget* parent, const std::vector<std::string>& lines);

class CableCheck : public QObject {
public:
    explicit CableCheck(QObject* owner);
    ~CableCheck() override;

    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    // The input's ALSA name; empty for the default input.
    const QString& inputName() const { return input_; }
    void setInputName(const QString& name);
    // "Prüfen" and the inputs, appended to a menu.
    void addToMenu(QMenu& menu);

    // Starts recording; false with the message when the input is not there or does not open.
    bool start(QString& message);
    bool recording() const;
    // Stops recording and compares what it holds with what was sent.
    SendCheck finish(const std::vector<ToneSegment>& sent);
    // Stops recording and hands over what it holds (the level check).
    Recording finishRecording();
    // Stops recording and forgets it (a send that did not end whole).
    void cancel();

private:
    bool enabled_ = false;
    QString input_;
    CheckRecording recording_;
};
