// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming dialog: lists the programming tones, holds the expert sliders and the
// output-device choice, and sends the tones.
#include "ExpertValues.h"
#include "ProgSession.h"
#include "ProgTones.h"
#include "SendTimeline.h"
#include "TestCall.h"
#include "ToneSequence.h"
#include "UNT_Bleeper.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QGroupBox;
class SoundDeviceChoice;
class CableCheck;
struct SendCheck;
class TAudio;
struct TAudioLayers;
class TObject;
class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QSlider;
class QTimer;
class QToolButton;

// Colours of the status line under the listing.
struct StatusLook;

class TFRM_Prog : public QDialog {
    Q_OBJECT
public:
    explicit TFRM_Prog(QWidget* parent);

    // The sound layers of the next dialog's audio component: the program's own unless a test
    // puts scripted ones here.
    static TAudioLayers audioLayers;

    QPlainTextEdit* TXT_Daten;
    QGroupBox* GroupBox1;
    QSlider* BAR_Tonlen;
    QSlider* BAR_BlockPause;
    QSlider* BAR_Amplitude;
    QLabel* LBL_TonLen;
    QLabel* LBL_Tonpause;
    QLabel* LBL_Amplitude;
    TAudio* AUD_Main;
    QLabel* LBL_Blockpause;
    QSlider* BAR_TonPause;
    QToolButton* BTN_Go;
    QGroupBox* GroupBox2;
    QRadioButton* OPT_Soundcard;
    QRadioButton* OPT_PCSpeaker;
    // Under the listing, inside its frame: "Wird gesendet …", then whether the send went out.
    QLabel* LBL_Status = nullptr;
    TProgTones Tones{};
    // The device behind "Soundkarte": its context menu and the stored choice.
    SoundDeviceChoice* SoundDevice = nullptr;
    // "Prüfen": each send recorded back from the chosen input and compared with what was sent.
    CableCheck* Check = nullptr;

    // What is programmed and sent, the list's line chosen, the record and the repeat rule: the
    // one session of the program, which the main window and the list's window feed too.
    ProgSession Session;

    // Takes a copy of the tones and rewrites the listing: these tones, without settings of
    // their own, are what the next send plays.
    void SetProgTones(const TProgTones& tones);
    // Rewrites the listing when the session's tones are no longer those shown (a new line of the
    // list chosen after a send): nothing is sent that the listing does not show.
    void ShowSessionTones();
    // The key typed in the dialog that belongs into the main window's address field (the dialog
    // closed on it, as Esc closes it), once: the main window passes it on.
    struct TypedKey {
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };
    std::optional<TypedKey> TakeTypedKey();

    void FormCreate(QObject* sender);
    void FormClose(QObject* sender);
    void OnBarChange(QObject* sender);
    void OnDeviceChange(QObject* sender);
    // Sends the tones through the chosen output device.
    void BTN_GoClick(QObject* sender);
    void AUD_MainPlayed(TObject* sender);

    // Appends one tone (or a pause, frequency 0) at the amplitude slider's setting.
    void AppendTone(uint16_t frequency, uint16_t duration, std::vector<uint8_t>& buffer) const;
    // One tone on the PC speaker, or a wait when the frequency is 0.
    static void SpeakerTone(uint16_t frequency, uint16_t duration);

    // Sends a test call through the chosen output at the dialog's amplitude, without showing
    // the dialog; a failure shows the send's box, owned by owner. "OK und los !" stays
    // disabled while the call plays.
    void SendTestCall(TestCall call, const TToneTable& table, QWidget* owner);
    // A send or a test call is playing; another has to wait.
    bool Sending() const;
    // The output as the record names it: its ALSA name, "default", "PC-Lautsprecher".
    QString outputName() const;
    // The expert sliders' values.
    ExpertValues expertValues() const;

    void setVisible(bool visible) override;

signals:
    // The session moved: a send began or ended (its record lines written), a line was chosen.
    void sessionChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    // Starts the samples on the sound card and disables "OK und los !" while they play; on
    // failure shows the send's box owned by owner.
    bool playOnSoundCard(const std::vector<uint8_t>& samples, QWidget* owner);
    // lines: the listing line to mark during each segment (-1 none), or empty for no marks.
    UNT_Bleeper::WalkResult walkOnSpeaker(const std::vector<ToneSegment>& sequence,
                                          const std::vector<int>& lines);
    // While a send plays, "OK und los !", the sliders and the output choice are disabled.
    void setSending(bool sending);
    // Marks a line of the listing (-1: none) and scrolls it into view.
    void markLine(int line);
    // Marks the line of the segment the sound card plays now, by the time since its start.
    void followSend();
    // The status line under the listing: what the last send came to.
    void showStatus(const QString& text, const StatusLook& look);
    // The status line after a send: "✔ Gesendet.", or failure as it stands ("✘ …").
    void finishSend(bool sent, const QString& failure);
    // Starts the sound card's send once the check's recording has run for a moment.
    void sendChecked(const std::vector<uint8_t>& samples);
    // The check's result in the status line, with a link to its report.
    void showCheck(const SendCheck& result);
    // Ends the send in the session (once per send): its record line, the next line.
    void reportSend(SendEnd end, const QString& reason, const QString& check = {});
    // "Eingangspegel …": the window over the check's input's mixer (one at a time).
    void showInputLevel();
    // "Pegel prüfen": the level check's tone at the amplitude slider's value, recorded from
    // the check's input; the advice goes to the status line.
    void checkLevel();
    QPointer<QWidget> inputLevel_;
    int levelAmplitude_ = 0; // the running level check's amplitude in percent; 0 for none
    std::vector<std::string> checkReport_;
    ExpertValues sendExpert_;  // of the running send
    QString startFailure_;     // why the last start on the sound card failed
    bool sendReported_ = true; // the running send's end was told
    QTimer* markTimer_ = nullptr;
    QElapsedTimer sendClock_;
    std::vector<TimelineSegment> timeline_; // of the running send, from core
    int markedLine_ = -1;
    bool speakerWalk_ = false;     // a walk of tones on the PC speaker is running
    QWidget* playOwner_ = nullptr; // owns the box of a failure during playback
    unsigned shownTones_ = ~0U;    // the session's tones version the listing shows
    std::optional<TypedKey> typedKey_;
};
