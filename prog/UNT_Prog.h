#pragma once
// The programming dialog: lists the programming tones, holds the expert sliders and the
// output-device choice, and sends the tones.
#include "prog/ProgTones.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QSlider;
class QToolButton;

class TFRM_Prog : public QDialog {
    Q_OBJECT
public:
    explicit TFRM_Prog(QWidget* parent);

    QPlainTextEdit* TXT_Daten;
    QGroupBox* GroupBox1;
    QSlider* BAR_Tonlen;
    QSlider* BAR_BlockPause;
    QSlider* BAR_Amplitude;
    QLabel* LBL_TonLen;
    QLabel* LBL_Tonpause;
    QLabel* LBL_Amplitude;
    QLabel* LBL_Blockpause;
    QSlider* BAR_TonPause;
    QToolButton* BTN_Go;
    QGroupBox* GroupBox2;
    QRadioButton* OPT_Soundcard;
    QRadioButton* OPT_PCSpeaker;
    TProgTones Tones{};

    // Takes a copy of the tones and rewrites the listing.
    void SetProgTones(const TProgTones& tones);

    void FormCreate(QObject* sender);
    void FormClose(QObject* sender);
    void OnBarChange(QObject* sender);
    void OnDeviceChange(QObject* sender);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
};
