// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls: where each stands, its caption, font and colour, and the tab
// order. What they do is in UNT_Main.cpp.
#include "UNT_Main.h"

#include "FormStyle.h"
#include "OptionGroups.h"
#include "ProgDataDialog.h"
#include "Version.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

namespace {

QGroupBox* groupBox(QWidget* parent, const char* name, const char* caption, QRect bounds) {
    auto* box =
        control<TGroupBox>(parent, name, bounds.x(), bounds.y(), bounds.width(), bounds.height());
    box->setTitle(QString::fromUtf8(caption));
    return box;
}

// Options and check boxes use "Verdana", 11 pixels, navy; the one selected at start-up is
// bold, and stays bold whatever is selected later.
template <typename T>
T* option(QWidget* parent, const char* name, const char* caption, QRect bounds,
          bool initially = false) {
    auto* button =
        control<T>(parent, name, bounds.x(), bounds.y(), bounds.width(), bounds.height());
    button->setText(QString::fromUtf8(caption));
    button->setFont(faceFont("Verdana", 11, initially));
    setTextColour(button, kNavy);
    button->setChecked(initially);
    return button;
}

QRadioButton* radio(QWidget* parent, const char* name, const char* caption, QRect bounds,
                    bool initially = false) {
    auto* button = option<QRadioButton>(parent, name, caption, bounds, initially);
    keepTabStopOnChecked(button);
    return button;
}

QLineEdit* addressEdit(QWidget* parent, const char* name, int top, const char* text) {
    auto* edit = control<QLineEdit>(parent, name, 72, top, 65, 22);
    edit->setFont(faceFont("Verdana", emForCellHeight("Verdana", 14), true));
    setTextColour(edit, kMaroon);
    edit->setMaxLength(5);
    edit->setText(QString::fromLatin1(text));
    // Typing goes through the key filter only; an input method or a drop would bypass it.
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setAcceptDrops(false);
    return edit;
}

QToolButton* flatButton(QWidget* parent, const char* name, QRect bounds, const char* picture) {
    auto* button =
        control<TFlatButton>(parent, name, bounds.x(), bounds.y(), bounds.width(), bounds.height());
    button->setIcon(glyph(QString::fromLatin1(picture)));
    button->setIconSize(QSize(16, 16));
    return button;
}

} // namespace

void TFRM_Main::buildControls() {
    // The captions come from the option-group table.
    using G = OptionGroupId;
    auto caption = [](G group) { return optionGroup(group).caption; };
    FRA_System = groupBox(this, "FRA_System", caption(G::Tonsys), {4, 4, 113, 137});
    FRA_Len1 = groupBox(this, "FRA_Len1", caption(G::ToneLength), {4, 144, 113, 73});
    OPT_Tonlen_01 =
        radio(FRA_Len1, "OPT_Tonlen_01", optionCaption(G::ToneLength, 1), {12, 20, 73, 13});
    OPT_Tonlen_02 =
        radio(FRA_Len1, "OPT_Tonlen_02", optionCaption(G::ToneLength, 2), {12, 36, 97, 13}, true);
    OPT_Tonlen_03 =
        radio(FRA_Len1, "OPT_Tonlen_03", optionCaption(G::ToneLength, 3), {12, 52, 73, 13});
    OPT_Tonlen_01->setEnabled(false);
    OPT_Tonlen_03->setEnabled(false);

    FRA_Auswerter = groupBox(this, "FRA_Auswerter", caption(G::Evaluator), {124, 4, 145, 65});
    OPT_Auswerter_01 = radio(FRA_Auswerter, "OPT_Auswerter_01", optionCaption(G::Evaluator, 1),
                             {12, 16, 77, 13}, true);
    OPT_Auswerter_02 =
        radio(FRA_Auswerter, "OPT_Auswerter_02", optionCaption(G::Evaluator, 2), {12, 32, 65, 13});
    OPT_Auswerter_03 =
        radio(FRA_Auswerter, "OPT_Auswerter_03", optionCaption(G::Evaluator, 3), {12, 48, 61, 13});

    FRA_Modi = groupBox(this, "FRA_Modi", caption(G::SwitchMode), {124, 72, 145, 85});
    OPT_Schalter_01 = radio(FRA_Modi, "OPT_Schalter_01", optionCaption(G::SwitchMode, 1),
                            {12, 16, 121, 17}, true);
    OPT_Schalter_02 =
        radio(FRA_Modi, "OPT_Schalter_02", optionCaption(G::SwitchMode, 2), {12, 32, 109, 17});
    OPT_Schalter_03 =
        radio(FRA_Modi, "OPT_Schalter_03", optionCaption(G::SwitchMode, 3), {12, 48, 117, 17});
    OPT_Schalter_04 =
        radio(FRA_Modi, "OPT_Schalter_04", optionCaption(G::SwitchMode, 4), {12, 64, 125, 17});

    // Each tone system's option, 16 pixels below the one before, as wide as its caption.
    QRadioButton** systems[] = {&OPT_Tonsys_01, &OPT_Tonsys_02, &OPT_Tonsys_03, &OPT_Tonsys_04,
                                &OPT_Tonsys_05, &OPT_Tonsys_06, &OPT_Tonsys_07};
    constexpr int systemWidths[] = {95, 94, 88, 95, 94, 87, 93};
    for (int n = 1; n <= kToneSystems; ++n) {
        const QByteArray name =
            QStringLiteral("OPT_Tonsys_%1").arg(n, 2, 10, QChar(u'0')).toLatin1();
        *systems[n - 1] = radio(FRA_System, name.constData(), optionCaption(G::Tonsys, n),
                                {12, 4 + 16 * n, systemWidths[n - 1], 13}, n == 1);
    }

    FRA_Adressen = groupBox(this, "FRA_Adressen", " Rufadressen ", {276, 4, 149, 121});
    TXT_Adresse_01 = addressEdit(FRA_Adressen, "TXT_Adresse_01", 20, "57434");
    CHK_Adresse_01 = option<QCheckBox>(FRA_Adressen, "CHK_Adresse_01", kAddressCaptions[0],
                                       {12, 24, 57, 13}, true);
    CHK_Adresse_02 =
        option<QCheckBox>(FRA_Adressen, "CHK_Adresse_02", kAddressCaptions[1], {12, 48, 65, 13});
    TXT_Adresse_02 = addressEdit(FRA_Adressen, "TXT_Adresse_02", 44, "");
    CHK_Adresse_03 =
        option<QCheckBox>(FRA_Adressen, "CHK_Adresse_03", kAddressCaptions[2], {12, 72, 65, 13});
    TXT_Adresse_03 = addressEdit(FRA_Adressen, "TXT_Adresse_03", 68, "");
    CHK_Adresse_04 =
        option<QCheckBox>(FRA_Adressen, "CHK_Adresse_04", kAddressCaptions[3], {12, 96, 65, 13});
    TXT_Adresse_04 = addressEdit(FRA_Adressen, "TXT_Adresse_04", 92, "");

    FRA_Len2 = groupBox(this, "FRA_Len2", caption(G::LenMode), {124, 160, 145, 57});
    OPT_Len_01 =
        radio(FRA_Len2, "OPT_Len_01", optionCaption(G::LenMode, 1), {12, 20, 125, 13}, true);
    OPT_Len_02 = radio(FRA_Len2, "OPT_Len_02", optionCaption(G::LenMode, 2), {12, 36, 121, 13});

    PAN_Menu = control<QFrame>(this, "PAN_Menu", 276, 132, 149, 33);
    PAN_Menu->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PAN_Menu->setLineWidth(1);
    BTN_Open = flatButton(PAN_Menu, "BTN_Open", {4, 4, 29, 25}, ":/zuvela/open.bmp");
    BTN_Open->setToolTip(QStringLiteral("Programmierdaten aus Datei laden"));
    BTN_Save = flatButton(PAN_Menu, "BTN_Save", {36, 4, 29, 25}, ":/zuvela/save.bmp");
    BTN_Save->setToolTip(QStringLiteral("Programmierdaten in Datei speichern"));
    LBL_Info = control<QLabel>(PAN_Menu, "LBL_Info", 69, 5, 78, 25);
    LBL_Info->setText(QStringLiteral("Zuvela-Projekt\nKontakt"));
    LBL_Info->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LBL_Info->setWordWrap(true);
    LBL_Info->setCursor(Qt::PointingHandCursor);
    LBL_Info->setFont(faceFont("Tahoma", emForCellHeight("Tahoma", 11)));
    setTextColour(LBL_Info, kGreen);

    BTN_Prog = flatButton(this, "BTN_Prog", {280, 172, 141, 37}, ":/zuvela/prog.bmp");
    BTN_Prog->setText(QStringLiteral("Programmieren"));
    BTN_Prog->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BTN_Prog->setFont(faceFont("Verdana", emForCellHeight("Verdana", 14), true));
    setTextColour(BTN_Prog, kMaroon);

    LBL_LastSend = control<QLabel>(this, "LBL_LastSend", 8, 228, 262, 13);
    LBL_LastSend->setFont(faceFont("Verdana", emForCellHeight("Verdana", 12)));
    setTextColour(LBL_LastSend, kMaroon);
    LBL_Version = control<QLabel>(this, "LBL_Version", 344, 210, 86, 11);
    LBL_Version->setText(QString::fromUtf8(kVersionLabel));
    LBL_Version->setFont(faceFont("Verdana", emForCellHeight("Verdana", 12)));
    setTextColour(LBL_Version, kGray);

    DLG_Open = new ProgDataFileChooser(this, ProgDataDialog::Purpose::Open);
    DLG_Open->setObjectName(QStringLiteral("DLG_Open"));
    DLG_Save = new ProgDataFileChooser(this, ProgDataDialog::Purpose::Save);
    DLG_Save->setObjectName(QStringLiteral("DLG_Save"));

    // Tab order as the eye reads the window: the option groups top to bottom and left to
    // right, each call as box then field, then the buttons. The flat buttons take the focus
    // by the keyboard only, so that a click still leaves an address field being edited.
    QWidget* order[] = {
        OPT_Tonsys_01,    OPT_Tonsys_02,    OPT_Tonsys_03,    OPT_Tonsys_04,   OPT_Tonsys_05,
        OPT_Tonsys_06,    OPT_Tonsys_07,    OPT_Tonlen_01,    OPT_Tonlen_02,   OPT_Tonlen_03,
        OPT_Auswerter_01, OPT_Auswerter_02, OPT_Auswerter_03, OPT_Schalter_01, OPT_Schalter_02,
        OPT_Schalter_03,  OPT_Schalter_04,  OPT_Len_01,       OPT_Len_02,      CHK_Adresse_01,
        TXT_Adresse_01,   CHK_Adresse_02,   TXT_Adresse_02,   CHK_Adresse_03,  TXT_Adresse_03,
        CHK_Adresse_04,   TXT_Adresse_04,   BTN_Open,         BTN_Save,        BTN_Prog};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}
