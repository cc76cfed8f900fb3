// SPDX-License-Identifier: GPL-3.0-or-later
#include "UNT_Prog.h"

#include "Audio.h"
#include "CableCheck.h"
#include "ExpertValues.h"
#include "FormStyle.h"
#include "InputLevel.h"
#include "LevelCheck.h"
#include "ProgListing.h"
#include "SendTimeline.h"
#include "SoundCardSend.h"
#include "SoundDeviceChoice.h"
#include "ToneSequence.h"
#include "UNT_Bleeper.h"
#include "UserTexts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <utility>

// The status line's colours: dark text on a pale ground, readable on every desktop.
struct StatusLook {
    QColor text, ground;
};

namespace {

// The listing with a status line under its text, inside its frame: the box keeps its place and
// size, its text scrolls above the line.
class TListing : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    void setStatusHeight(int height) { setViewportMargins(0, 0, 0, height); }
};

const StatusLook kSendingLook{kNavy, QColor(232, 232, 240)};
const StatusLook kSentLook{QColor(0, 90, 0), QColor(214, 240, 214)};
const StatusLook kFailedLook{kMaroon, QColor(250, 218, 218)};
constexpr int kStatusHeight = 17;
constexpr int kStatusPixels = 11, kStatusPixelsLeast = 9; // its type, and the least it shrinks to
// Why a send was stopped by closing the dialog, as a record says it.
constexpr const char* kClosedReason = "mit Schließen des Fensters";

// A slider over the positions of an expert value, at its initial value.
QSlider* slider(QWidget* parent, const char* name, int top, const ExpertRange& range) {
    auto* bar = control<QSlider>(parent, name, 4, top, 129, 21);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(range.position(range.minimum), range.position(range.maximum));
    bar->setPageStep(10);
    bar->setValue(range.position(range.initial));
    return bar;
}

int valueOf(const QSlider* bar, const ExpertRange& range) {
    return range.valueAt(bar->value());
}

QLabel* sliderLabel(QWidget* parent, const char* name, int top) {
    auto* label = control<QLabel>(parent, name, 8, top, 125, 13);
    label->setFont(faceFont("Verdana", 11));
    setTextColour(label, kNavy);
    return label;
}

} // namespace

TAudioLayers TFRM_Prog::audioLayers;

TFRM_Prog::TFRM_Prog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FRM_Prog"));
    setWindowTitle(QStringLiteral("Programmierdaten"));
    setFont(faceFont("MS Sans Serif", 11));
    setFixedSize(366, 274);
    setModal(true);
    buildControls();
    AUD_Main = new TAudio(this, audioLayers);
    AUD_Main->Player->SetSampleRate(22050); // the recorder follows: one format for both
    AUD_Main->Recorder->SetTrigLevel(0);
    AUD_Main->Recorder->Triggered = false;
    AUD_Main->OnPlayed = [this](TObject* sender) { AUD_MainPlayed(sender); };
    SoundDevice = new SoundDeviceChoice(OPT_Soundcard, AUD_Main);
    Check = new CableCheck(this);
    SoundDevice->extendMenu = [this](QMenu& menu) {
        Check->addToMenu(menu);
        // Run once the menu has closed, so that their boxes and windows stand on the dialog.
        QAction* level = menu.addAction(QStringLiteral("Eingangspegel …"));
        level->setObjectName(QStringLiteral("ACT_Eingangspegel"));
        level->setToolTip(QStringLiteral("Pegel und Schalter des Eingangs im Mixer"));
        connect(level, &QAction::triggered, this, [this] {
            QTimer::singleShot(0, this, [this] { runHandler([this] { showInputLevel(); }); });
        });
        QAction* probe = menu.addAction(QStringLiteral("Pegel prüfen"));
        probe->setObjectName(QStringLiteral("ACT_PegelPruefen"));
        probe->setToolTip(QStringLiteral("Einen Prüfton senden, vom Eingang aufnehmen und die "
                                         "Amplitude empfehlen"));
        probe->setEnabled(!Sending());
        connect(probe, &QAction::triggered, this, [this] {
            QTimer::singleShot(0, this, [this] { runHandler([this] { checkLevel(); }); });
        });
    };
    connect(BTN_Go, &QToolButton::clicked, this,
            [this] { runHandler([this] { BTN_GoClick(BTN_Go); }); });
    markTimer_ = new QTimer(this);
    markTimer_->setInterval(100); // follows the eye, costs the send nothing
    connect(markTimer_, &QTimer::timeout, this, &TFRM_Prog::followSend);

    for (QSlider* bar : {BAR_Tonlen, BAR_TonPause, BAR_BlockPause, BAR_Amplitude})
        connect(bar, &QSlider::valueChanged, this, [this] { OnBarChange(nullptr); });
    for (QRadioButton* option : {OPT_Soundcard, OPT_PCSpeaker})
        connect(option, &QRadioButton::toggled, this, [this, option](bool on) {
            if (on)
                OnDeviceChange(option);
        });
    FormCreate(this);
}

void TFRM_Prog::buildControls() {
    auto* listing = control<TListing>(this, "TXT_Daten", 4, 4, 209, 265);
    TXT_Daten = listing;
    TXT_Daten->setReadOnly(true);
    // Read-only, yet the arrow keys move a visible cursor: the focus shows where it is.
    TXT_Daten->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    TXT_Daten->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TXT_Daten->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = faceFont("Lucida Console", 11);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    TXT_Daten->setFont(fixed);
    setTextColour(TXT_Daten, kMaroon);
    LBL_Status = new QLabel(TXT_Daten);
    LBL_Status->setObjectName(QStringLiteral("LBL_Status"));
    LBL_Status->setFont(faceFont("Verdana", kStatusPixels, true));
    LBL_Status->setIndent(4);
    LBL_Status->setAutoFillBackground(true);
    LBL_Status->setWordWrap(false);
    LBL_Status->hide();
    connect(LBL_Status, &QLabel::linkActivated, this,
            [this] { showCheckReport(this, checkReport_); });

    GroupBox1 = control<TGroupBox>(this, "GroupBox1", 220, 4, 141, 165);
    GroupBox1->setTitle(QStringLiteral(" FÜR EXPERTEN  !! "));
    setTextColour(GroupBox1, kRed);
    LBL_TonLen = sliderLabel(GroupBox1, "LBL_TonLen", 16);
    BAR_Tonlen = slider(GroupBox1, "BAR_Tonlen", 28, kToneLengthRange);
    LBL_Tonpause = sliderLabel(GroupBox1, "LBL_Tonpause", 52);
    BAR_TonPause = slider(GroupBox1, "BAR_TonPause", 64, kTonePauseRange);
    LBL_Blockpause = sliderLabel(GroupBox1, "LBL_Blockpause", 88);
    BAR_BlockPause = slider(GroupBox1, "BAR_BlockPause", 100, kBlockPauseRange);
    LBL_Amplitude = sliderLabel(GroupBox1, "LBL_Amplitude", 124);
    BAR_Amplitude = slider(GroupBox1, "BAR_Amplitude", 136, kAmplitudeRange);

    GroupBox2 = control<TGroupBox>(this, "GroupBox2", 220, 172, 141, 57);
    GroupBox2->setTitle(QStringLiteral(" Ausgabegerät "));
    OPT_Soundcard = control<QRadioButton>(GroupBox2, "OPT_Soundcard", 12, 16, 113, 17);
    OPT_Soundcard->setText(QStringLiteral("Soundkarte"));
    OPT_Soundcard->setFont(faceFont("Verdana", 11, true));
    setTextColour(OPT_Soundcard, kNavy);
    OPT_Soundcard->setChecked(true);
    OPT_PCSpeaker = control<QRadioButton>(GroupBox2, "OPT_PCSpeaker", 12, 32, 101, 17);
    OPT_PCSpeaker->setText(QStringLiteral("PC Speaker"));
    OPT_PCSpeaker->setFont(faceFont("Verdana", 11));
    setTextColour(OPT_PCSpeaker, kNavy);
    keepTabStopOnChecked(OPT_Soundcard);
    keepTabStopOnChecked(OPT_PCSpeaker);

    BTN_Go = control<TFlatButton>(this, "BTN_Go", 224, 240, 133, 25);
    BTN_Go->setText(QStringLiteral("OK und los !"));
    BTN_Go->setToolTip(QStringLiteral("Senden: Eingabetaste\nSchließen: Esc"));
    BTN_Go->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BTN_Go->setIcon(glyph(QStringLiteral(":/zuvela/go.bmp")));
    BTN_Go->setIconSize(QSize(16, 16));
    BTN_Go->setFont(faceFont("Verdana", 11, true));
    setTextColour(BTN_Go, kMaroon);

    // Tab order: the listing, the expert group (tone length, block pause, amplitude, tone
    // pause), then the device choice and "OK und los !".
    QWidget* order[] = {TXT_Daten,    BAR_Tonlen,    BAR_BlockPause, BAR_Amplitude,
                        BAR_TonPause, OPT_Soundcard, OPT_PCSpeaker,  BTN_Go};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFRM_Prog::FormCreate(QObject*) {
    OnBarChange(nullptr);
}

void TFRM_Prog::SetProgTones(const TProgTones& tones) {
    Session.programTones(tones);
    ShowSessionTones();
}

void TFRM_Prog::ShowSessionTones() {
    if (shownTones_ == Session.tonesVersion())
        return;
    shownTones_ = Session.tonesVersion();
    Tones = Session.tones();
    TXT_Daten->clear();
    for (const std::string& line : progListingLines(Tones))
        TXT_Daten->appendPlainText(QString::fromStdString(line));
    // Opens at Block A, not at the end where appending left it.
    TXT_Daten->moveCursor(QTextCursor::Start);
    markLine(-1);
    showStatus(QString(), {});
}

void TFRM_Prog::showStatus(const QString& text, const StatusLook& look) {
    auto* listing = static_cast<TListing*>(TXT_Daten);
    if (text.isEmpty()) {
        LBL_Status->hide();
        listing->setStatusHeight(0);
        return;
    }
    QPalette palette = LBL_Status->palette();
    palette.setColor(QPalette::WindowText, look.text);
    palette.setColor(QPalette::Window, look.ground);
    LBL_Status->setPalette(palette);
    // One line over the listing: a longer text takes a smaller type, and only then is cut; its
    // tool tip holds it whole.
    listing->setStatusHeight(kStatusHeight);
    const int height = kStatusHeight;
    const int room = TXT_Daten->viewport()->width() - 2 * LBL_Status->indent();
    const bool rich = Qt::mightBeRichText(text);
    const QString plain = rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
    int pixels = kStatusPixels;
    while (pixels > kStatusPixelsLeast &&
           QFontMetrics(faceFont("Verdana", pixels, true)).horizontalAdvance(plain) > room)
        --pixels;
    LBL_Status->setFont(faceFont("Verdana", pixels, true));
    LBL_Status->setText(rich ? text
                             : LBL_Status->fontMetrics().elidedText(text, Qt::ElideRight, room));
    LBL_Status->setToolTip(plain);
    const QRect view = TXT_Daten->viewport()->geometry();
    LBL_Status->setGeometry(view.left(), view.bottom() + 1, view.width(), height);
    LBL_Status->show();
}

void TFRM_Prog::markLine(int line) {
    if (line == markedLine_)
        return;
    markedLine_ = line;
    QList<QTextEdit::ExtraSelection> marks;
    if (line >= 0) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(TXT_Daten->document()->findBlockByNumber(line));
        mark.format.setBackground(QColor(255, 236, 160));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks.append(mark);
        // Scrolled into view without moving the user's cursor (restoring a moved cursor would
        // scroll back to it); the unwrapped listing scrolls by lines.
        QScrollBar* bar = TXT_Daten->verticalScrollBar();
        const int shown =
            std::max(1, TXT_Daten->viewport()->height() / TXT_Daten->fontMetrics().lineSpacing());
        if (line < bar->value())
            bar->setValue(line);
        else if (line >= bar->value() + shown)
            bar->setValue(line - shown + 1);
    }
    TXT_Daten->setExtraSelections(marks);
}

void TFRM_Prog::setSending(bool sending) {
    BTN_Go->setEnabled(!sending);
    for (QSlider* bar : {BAR_Tonlen, BAR_TonPause, BAR_BlockPause})
        bar->setEnabled(!sending);
    // The output choice and its device menu; the amplitude follows the choice again after.
    GroupBox2->setEnabled(!sending);
    if (sending)
        BAR_Amplitude->setEnabled(false);
    else
        OnDeviceChange(OPT_Soundcard->isChecked() ? OPT_Soundcard : OPT_PCSpeaker);
}

void TFRM_Prog::finishSend(bool sent, const QString& failure) {
    markTimer_->stop();
    markLine(-1);
    if (sent)
        showStatus(QString::fromUtf8(kStatusSent), kSentLook);
    else
        showStatus(failure, kFailedLook);
}

void TFRM_Prog::OnBarChange(QObject*) {
    const std::pair<QLabel*, std::string> labels[] = {
        {LBL_TonLen, kToneLengthRange.label(valueOf(BAR_Tonlen, kToneLengthRange))},
        {LBL_Tonpause, kTonePauseRange.label(valueOf(BAR_TonPause, kTonePauseRange))},
        {LBL_Blockpause, kBlockPauseRange.label(valueOf(BAR_BlockPause, kBlockPauseRange))},
        {LBL_Amplitude, kAmplitudeRange.label(valueOf(BAR_Amplitude, kAmplitudeRange))}};
    for (const auto& [label, text] : labels)
        label->setText(QString::fromStdString(text));
}

void TFRM_Prog::OnDeviceChange(QObject* sender) {
    LBL_Amplitude->setEnabled(false);
    BAR_Amplitude->setEnabled(false);
    if (sender == OPT_Soundcard) {
        LBL_Amplitude->setEnabled(true);
        BAR_Amplitude->setEnabled(true);
    }
}

void TFRM_Prog::FormClose(QObject*) {
    Check->cancel();
    levelAmplitude_ = 0;
    // The input's mixer belongs to this showing of the dialog.
    if (inputLevel_)
        inputLevel_->close();
    AUD_Main->Player->Stop();
    // A speaker walk waits with the dialog's events running: closing ends it at once.
    if (speakerWalk_)
        UNT_Bleeper::Interrupt();
}

void TFRM_Prog::AppendTone(uint16_t frequency, uint16_t duration,
                           std::vector<uint8_t>& buffer) const {
    const auto amplitude = static_cast<uint8_t>(valueOf(BAR_Amplitude, kAmplitudeRange));
    appendToneSamples(frequency, duration, amplitude, buffer);
}

void TFRM_Prog::SpeakerTone(uint16_t frequency, uint16_t duration) {
    UNT_Bleeper::SoundSegment(frequency, duration);
}

void TFRM_Prog::BTN_GoClick(QObject*) {
    if (Sending())
        return;
    levelAmplitude_ = 0;
    ShowSessionTones(); // what goes out is what the listing shows
    const ExpertValues expert = expertValues();
    const std::string device = outputName().toStdString();
    auto now = [] { return isoLocalTime(std::chrono::system_clock::now()); };
    SendPlan plan = Session.planSend(expert, device, now());
    if (plan.step == SendPlan::Step::Ask) {
        QMessageBox ask(QMessageBox::Question, kApplicationTitle, QString::fromStdString(plan.text),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setDefaultButton(QMessageBox::No);
        if (ask.exec() != QMessageBox::Yes)
            return;
        plan = Session.planSend(expert, device, now(), true);
    }
    if (plan.step != SendPlan::Step::Play) {
        showErrorBox(this, QString::fromStdString(plan.text));
        return;
    }
    emit sessionChanged(); // the record's start line is written
    // The sequence of progSegments, each segment with its samples and its listing line.
    timeline_ = plan.timeline;
    sendExpert_ = expert;
    sendReported_ = false;

    if (OPT_Soundcard->isChecked()) {
        const std::vector<uint8_t>& samples = plan.samples;
        // Prepared before the sound starts: once it runs, the player's refills come first.
        showStatus(QString::fromUtf8(kStatusSending), kSendingLook);
        if (Check->enabled()) {
            sendChecked(samples);
            return;
        }
        if (!playOnSoundCard(samples, this)) {
            finishSend(false, QString::fromUtf8(kStatusNotSent));
            reportSend(SendEnd::Broken, startFailure_);
            return;
        }
        sendClock_.start();
        markTimer_->start();
    }
    if (OPT_PCSpeaker->isChecked()) {
        showStatus(QString::fromUtf8(kStatusSending), kSendingLook);
        std::vector<ToneSegment> sequence;
        std::vector<int> lines;
        for (const TimelineSegment& entry : timeline_) {
            sequence.push_back(entry.segment);
            lines.push_back(entry.line);
        }
        const auto walk = walkOnSpeaker(sequence, lines);
        if (!isVisible()) { // closed during the walk
            reportSend(SendEnd::Stopped, QString::fromUtf8(kClosedReason));
            return;
        }
        if (UNT_Bleeper::speakerMethod() == platform::SpeakerMethod::Silent) {
            finishSend(false, QStringLiteral("✘ PC Speaker nicht erreichbar."));
            reportSend(SendEnd::Broken, QStringLiteral("PC Speaker nicht erreichbar"));
        } else if (walk.end == UNT_Bleeper::WalkResult::End::ToneFailed) {
            finishSend(false, QString::fromUtf8(kStatusBroken));
            reportSend(SendEnd::Broken,
                       QString::fromStdString(walk.message).section(QStringLiteral("\r\n"), 0, 0));
        } else {
            finishSend(true, QString());
            reportSend(SendEnd::Sent, QString());
        }
    }
}

void TFRM_Prog::sendChecked(const std::vector<uint8_t>& samples) {
    QString message;
    if (!Check->start(message)) {
        showErrorBox(this, message);
        finishSend(false, QString::fromUtf8(kStatusNotSent));
        reportSend(SendEnd::Broken, message);
        return;
    }
    setSending(true);
    // The recording begins a little before the first tone.
    QTimer::singleShot(kCheckLeadMs, this, [this, samples] {
        setSending(false);
        if (!Check->recording()) { // closed meanwhile
            reportSend(SendEnd::Stopped, QString::fromUtf8(kClosedReason));
            return;
        }
        if (!playOnSoundCard(samples, this)) {
            Check->cancel();
            finishSend(false, QString::fromUtf8(kStatusNotSent));
            reportSend(SendEnd::Broken, startFailure_);
            return;
        }
        sendClock_.start();
        markTimer_->start();
    });
}

void TFRM_Prog::showCheck(const SendCheck& result) {
    // The report begins with the result, which the status line may have to cut.
    checkReport_ = sendCheckDetails(result);
    checkReport_.insert(checkReport_.begin(), {result.summary, std::string()});
    const QString summary = QString::fromStdString(result.summary);
    const QFontMetrics metrics(faceFont("Verdana", kStatusPixelsLeast, true));
    const int room = TXT_Daten->viewport()->width() - 2 * LBL_Status->indent() -
                     metrics.horizontalAdvance(QStringLiteral("  Bericht … "));
    showStatus(metrics.elidedText(summary, Qt::ElideRight, room).toHtmlEscaped() +
                   QStringLiteral(" &nbsp;<a href=\"bericht\">Bericht …</a>"),
               result.ok ? kSentLook : kFailedLook);
    LBL_Status->setToolTip(summary);
}

void TFRM_Prog::showInputLevel() {
    if (inputLevel_) {
        inputLevel_->raise();
        inputLevel_->activateWindow();
        return;
    }
    QString message;
    InputLevelWindow* window = InputLevelWindow::open(this, Check->inputName(), message);
    if (!window) {
        showErrorBox(this, message);
        return;
    }
    inputLevel_ = window;
    window->show();
}

void TFRM_Prog::checkLevel() {
    if (Sending())
        return;
    const int amplitude = valueOf(BAR_Amplitude, kAmplitudeRange);
    QString message;
    if (!Check->start(message)) {
        showErrorBox(this, message);
        return;
    }
    levelAmplitude_ = amplitude;
    showStatus(QStringLiteral("Pegel wird geprüft …"), kSendingLook);
    setSending(true);
    // The recording begins a little before the tone.
    QTimer::singleShot(kCheckLeadMs, this, [this, amplitude] {
        setSending(false);
        if (!Check->recording())
            return; // closed meanwhile
        if (!playOnSoundCard(renderSequence(levelToneSegments(), uint8_t(amplitude)), this)) {
            Check->cancel();
            levelAmplitude_ = 0;
            finishSend(false, QString::fromUtf8(kLevelToneNotSent));
        }
    });
}

void TFRM_Prog::followSend() {
    const auto at = static_cast<std::size_t>(sendClock_.elapsed()) * kSampleRate / 1000;
    if (const TimelineSegment* segment = segmentAt(timeline_, at))
        markLine(segment->line);
    // After the last segment the last samples are still on their way: the mark stays.
}

bool TFRM_Prog::playOnSoundCard(const std::vector<uint8_t>& samples, QWidget* owner) {
    playOwner_ = owner;
    // The chosen device by its name, as it is numbered now; one that is gone is not replaced.
    if (!SoundDevice->resolve()) {
        startFailure_ = QString::fromUtf8(kSoundCardUnavailable) + QStringLiteral("\r\n") +
                        SoundDevice->missingText();
        showErrorBox(owner, startFailure_);
        return false;
    }
    const TSendStatus status = startSend(*AUD_Main, samples);
    if (status.result == TSendResult::NotStarted) {
        startFailure_ = status.message;
        showErrorBox(owner, status.message);
        return false;
    }
    setSending(true);
    return true;
}

UNT_Bleeper::WalkResult TFRM_Prog::walkOnSpeaker(const std::vector<ToneSegment>& sequence,
                                                 const std::vector<int>& lines) {
    setSending(true);
    speakerWalk_ = true;
    std::size_t next = 0;
    // Each tone is marked before it sounds; the walk holds the event loop through short
    // tones, so the mark is drawn at once.
    auto markNext = [&] {
        if (next < lines.size() && lines[next] != markedLine_) {
            markLine(lines[next]);
            TXT_Daten->viewport()->repaint();
        }
        ++next;
    };
    markNext();
    auto walk = UNT_Bleeper::WalkSegments(sequence, [&](const ToneSegment&) { markNext(); });
    speakerWalk_ = false;
    markLine(-1);
    setSending(false);
    if (walk.end == UNT_Bleeper::WalkResult::End::ToneFailed)
        showErrorBox(this, QString::fromStdString(walk.message));
    return walk;
}

void TFRM_Prog::reportSend(SendEnd end, const QString& reason, const QString& check) {
    if (sendReported_)
        return;
    sendReported_ = true;
    SendOutcome outcome;
    outcome.end = end;
    outcome.reason = reason.toStdString();
    outcome.check = check.toStdString();
    const std::string lost =
        Session.endSend(outcome, isoLocalTime(std::chrono::system_clock::now()));
    if (!lost.empty()) {
        // Shown once the send's own box (if any) is up: the list stops here.
        QTimer::singleShot(0, this, [this, lost] {
            showErrorBox(isVisible() ? static_cast<QWidget*>(this) : parentWidget(),
                         QString::fromStdString(lost));
        });
    }
    // After a whole send of a list's line the next line is chosen: the listing shows its tones
    // at once, so that the next "OK und los !" sends what the record will name.
    if (Session.tonesVersion() != shownTones_) {
        const QString shown = LBL_Status->text();
        const QString status = !LBL_Status->isVisible()     ? QString()
                               : Qt::mightBeRichText(shown) ? shown
                                                            : LBL_Status->toolTip();
        const QPalette look = LBL_Status->palette();
        ShowSessionTones();
        if (!status.isEmpty()) {
            const FleetPager& next =
                Session.list().pagers[static_cast<std::size_t>(Session.chosen())];
            showStatus(status + QStringLiteral(" Nächste Zeile: ") +
                           QString::fromStdString(next.label).toHtmlEscaped(),
                       {look.color(QPalette::WindowText), look.color(QPalette::Window)});
        }
    }
    emit sessionChanged();
}

ExpertValues TFRM_Prog::expertValues() const {
    ExpertValues expert;
    expert.toneLength = static_cast<uint16_t>(valueOf(BAR_Tonlen, kToneLengthRange));
    expert.tonePause = static_cast<uint16_t>(valueOf(BAR_TonPause, kTonePauseRange));
    expert.blockPause = static_cast<uint16_t>(valueOf(BAR_BlockPause, kBlockPauseRange));
    expert.amplitude = static_cast<uint8_t>(valueOf(BAR_Amplitude, kAmplitudeRange));
    return expert;
}

QString TFRM_Prog::outputName() const {
    return OPT_PCSpeaker->isChecked()            ? QStringLiteral("PC-Lautsprecher")
           : SoundDevice->deviceName().isEmpty() ? QStringLiteral("default")
                                                 : SoundDevice->deviceName();
}

std::optional<TFRM_Prog::TypedKey> TFRM_Prog::TakeTypedKey() {
    return std::exchange(typedKey_, std::nullopt);
}

bool TFRM_Prog::Sending() const {
    return !BTN_Go->isEnabled();
}

void TFRM_Prog::SendTestCall(TestCall call, const TToneTable& table, QWidget* owner) {
    if (Sending())
        return;
    if (OPT_Soundcard->isChecked()) {
        call.amplitude = static_cast<uint8_t>(valueOf(BAR_Amplitude, kAmplitudeRange));
        playOnSoundCard(renderTestCall(call, table), owner);
    } else {
        walkOnSpeaker(testCallSegments(call, table), {});
    }
}

void TFRM_Prog::AUD_MainPlayed(TObject*) {
    setSending(false);
    // A break or a device that went away mid-send: the pager did not get everything. Shown
    // once the component has finished closing.
    const TSendStatus end = sendEnd(*AUD_Main);
    const bool ownSend = markTimer_->isActive(); // not a test call
    if (ownSend)
        finishSend(end.result == TSendResult::Sent, end.result == TSendResult::Stopped
                                                        ? QString::fromUtf8(kStatusStopped)
                                                        : QString::fromUtf8(kStatusBroken));
    markTimer_->stop();
    if (ownSend && end.result == TSendResult::Stopped)
        reportSend(SendEnd::Stopped, QString::fromUtf8(kClosedReason));
    else if (ownSend && end.result != TSendResult::Sent)
        reportSend(SendEnd::Broken, end.message);
    else if (ownSend && !Check->recording())
        reportSend(SendEnd::Sent, QString());
    const int levelAmplitude = std::exchange(levelAmplitude_, 0);
    if (Check->recording() && levelAmplitude > 0) {
        if (end.result != TSendResult::Sent) {
            Check->cancel();
            finishSend(false, end.result == TSendResult::Stopped
                                  ? QString::fromUtf8(kLevelToneStopped)
                                  : QString::fromUtf8(kLevelToneBroken));
        } else {
            setSending(true);
            QTimer::singleShot(kCheckTailMs, this, [this, levelAmplitude] {
                setSending(false);
                if (!Check->recording())
                    return; // closed meanwhile
                const LevelAdvice advice =
                    adviseLevel(readLevel(Check->finishRecording()), levelAmplitude);
                showStatus(QString::fromStdString(advice.text),
                           advice.ok() ? kSentLook : kFailedLook);
            });
        }
    } else if (Check->recording()) {
        if (end.result != TSendResult::Sent) {
            Check->cancel();
        } else {
            // A little after the last tone, then the recording against what was sent.
            setSending(true);
            showStatus(QStringLiteral("Wird geprüft …"), kSendingLook);
            QTimer::singleShot(kCheckTailMs, this, [this] {
                setSending(false);
                if (!Check->recording()) { // closed meanwhile: sent, but not checked
                    reportSend(SendEnd::Sent, QString());
                    return;
                }
                std::vector<ToneSegment> sent;
                for (const TimelineSegment& entry : timeline_)
                    sent.push_back(entry.segment);
                const SendCheck result = Check->finish(sent);
                showCheck(result);
                reportSend(result.ok ? SendEnd::Sent : SendEnd::CheckFailed, QString(),
                           QString::fromStdString(result.summary));
            });
        }
    }
    if (end.result != TSendResult::Interrupted)
        return;
    // A test call's failure is shown by the window it was sent from.
    QWidget* owner = playOwner_ != nullptr ? playOwner_ : this;
    const QString cause = AUD_Main->Player->PlaybackFailure();
    const QString levelText =
        QString::fromUtf8(kSoundCardUnavailable) + QStringLiteral("\r\n") +
        QString::fromUtf8(kLevelToneInterrupted) +
        (cause.isEmpty() ? QString() : QStringLiteral("\r\nUrsache: ") + cause + QLatin1Char('.'));
    const QString text =
        owner == this ? (levelAmplitude > 0 ? levelText : end.message)
                      : QString::fromUtf8(kSoundCardUnavailable) + QStringLiteral("\r\n") +
                            QString::fromStdString(
                                testCallAborted(AUD_Main->Player->PlaybackFailure().toStdString()));
    QTimer::singleShot(0, owner, [owner, text] { showErrorBox(owner, text); });
}

void TFRM_Prog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        placeCentred(this, parentWidget());
        TXT_Daten->setFocus(Qt::OtherFocusReason);
    }
    QDialog::setVisible(visible);
}

void TFRM_Prog::closeEvent(QCloseEvent* event) {
    FormClose(this);
    QDialog::closeEvent(event); // hides; the dialog lives on for the next showing
}

void TFRM_Prog::keyPressEvent(QKeyEvent* event) {
    // Esc closes as the close box does, so that closing always stops a send; Enter is
    // "OK und los !" wherever the focus is.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (BTN_Go->isEnabled())
            BTN_Go->click();
        return;
    }
    // The next address typed here, after a box of the loop was closed: it belongs into the main
    // window. While nothing is sent, the dialog closes as Esc closes it and the main window
    // takes the key; during a send, closing would stop it, so the key is refused with a sign.
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == Qt::NoModifier) {
        if (Sending()) {
            QApplication::beep();
            showStatus(QString::fromUtf8(kStatusSending) +
                           QStringLiteral(" Die nächste Rufadresse erst danach; Esc bricht ab."),
                       kSendingLook);
        } else {
            typedKey_ = TypedKey{event->key(), event->modifiers(), text};
            close();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
