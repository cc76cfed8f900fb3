#include "prog/UNT_Prog.h"

#include "prog/FormStyle.h"
#include "prog/ProgListing.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace {

template <typename T>
T* control(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QSlider* slider(QWidget* parent, const char* name, int top, int minimum, int maximum,
                int position) {
    auto* bar = control<QSlider>(parent, name, 4, top, 129, 21);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(minimum, maximum);
    bar->setPageStep(10);
    bar->setValue(position);
    return bar;
}

QLabel* sliderLabel(QWidget* parent, const char* name, int top) {
    auto* label = control<QLabel>(parent, name, 8, top, 125, 13);
    label->setFont(faceFont("Verdana", 11));
    setTextColour(label, kNavy);
    return label;
}

} // namespace

TFRM_Prog::TFRM_Prog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FRM_Prog"));
    setWindowTitle(QStringLiteral("Programmierdaten"));
    setFont(faceFont("MS Sans Serif", 11));
    setFixedSize(366, 274);
    setModal(true);
    buildControls();

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
    TXT_Daten = control<QPlainTextEdit>(this, "TXT_Daten", 4, 4, 209, 265);
    TXT_Daten->setReadOnly(true);
    TXT_Daten->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TXT_Daten->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = faceFont("Lucida Console", 11);
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    TXT_Daten->setFont(fixed);
    setTextColour(TXT_Daten, kMaroon);

    GroupBox1 = control<QGroupBox>(this, "GroupBox1", 220, 4, 141, 165);
    GroupBox1->setTitle(QStringLiteral(" FÜR EXPERTEN  !! "));
    setTextColour(GroupBox1, kRed);
    LBL_TonLen = sliderLabel(GroupBox1, "LBL_TonLen", 16);
    BAR_Tonlen = slider(GroupBox1, "BAR_Tonlen", 28, 4, 20, 10);
    LBL_Tonpause = sliderLabel(GroupBox1, "LBL_Tonpause", 52);
    BAR_TonPause = slider(GroupBox1, "BAR_TonPause", 64, 1, 10, 3);
    LBL_Blockpause = sliderLabel(GroupBox1, "LBL_Blockpause", 88);
    BAR_BlockPause = slider(GroupBox1, "BAR_BlockPause", 100, 5, 10, 7);
    LBL_Amplitude = sliderLabel(GroupBox1, "LBL_Amplitude", 124);
    BAR_Amplitude = slider(GroupBox1, "BAR_Amplitude", 136, 1, 10, 10);

    GroupBox2 = control<QGroupBox>(this, "GroupBox2", 220, 172, 141, 57);
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

    BTN_Go = control<QToolButton>(this, "BTN_Go", 224, 240, 133, 25);
    BTN_Go->setText(QStringLiteral("OK und los !"));
    BTN_Go->setAutoRaise(true);
    BTN_Go->setFocusPolicy(Qt::NoFocus);
    BTN_Go->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BTN_Go->setIcon(glyph(QStringLiteral(":/zuvela/go.bmp")));
    BTN_Go->setIconSize(QSize(16, 16));
    BTN_Go->setFont(faceFont("Verdana", 11, true));
    setTextColour(BTN_Go, kMaroon);

    // Tab order: the listing, the expert group (tone length, block pause, amplitude, tone
    // pause), then the device choice.
    QWidget* order[] = {TXT_Daten,    BAR_Tonlen,    BAR_BlockPause, BAR_Amplitude,
                        BAR_TonPause, OPT_Soundcard, OPT_PCSpeaker};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFRM_Prog::FormCreate(QObject*) {
    OnBarChange(nullptr);
}

void TFRM_Prog::SetProgTones(const TProgTones& tones) {
    Tones = tones;
    TXT_Daten->clear();
    for (const std::string& line : progListingLines(Tones))
        TXT_Daten->appendPlainText(QString::fromStdString(line));
}

void TFRM_Prog::OnBarChange(QObject*) {
    LBL_TonLen->setText(QStringLiteral("Tonlänge (%1 ms)").arg(BAR_Tonlen->value() * 10));
    LBL_Tonpause->setText(QStringLiteral("Tonpause (%1 ms)").arg(BAR_TonPause->value() * 10));
    LBL_Blockpause->setText(
        QStringLiteral("Blockpause (%1 ms)").arg(BAR_BlockPause->value() * 100));
    LBL_Amplitude->setText(QStringLiteral("Amplitude (%1 %)").arg(BAR_Amplitude->value() * 10));
}

void TFRM_Prog::OnDeviceChange(QObject* sender) {
    LBL_Amplitude->setEnabled(false);
    BAR_Amplitude->setEnabled(false);
    if (sender == OPT_Soundcard) {
        LBL_Amplitude->setEnabled(true);
        BAR_Amplitude->setEnabled(true);
    }
}

void TFRM_Prog::FormClose(QObject*) {}

void TFRM_Prog::closeEvent(QCloseEvent* event) {
    FormClose(this);
    QDialog::closeEvent(event); // hides; the dialog lives on for the next showing
}

void TFRM_Prog::keyPressEvent(QKeyEvent* event) {
    // No key closes the dialog: only its close box does, so that closing always stops.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
