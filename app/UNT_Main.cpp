// SPDX-License-Identifier: GPL-3.0-or-later
#include "UNT_Main.h"

#include "AddressField.h"
#include "Cp1252.h"
#include "FormStyle.h"
#include "OptionGroups.h"
#include "ProgDataDialog.h"
#include "ProgDataFile.h"
#include "ProgEngine.h"
#include "Shell.h"
#include "TApplication.h"
#include "UNT_Prog.h"
#include "Version.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>

TFRM_Main* FRM_Main = nullptr;
TFRM_Prog* FRM_Prog = nullptr;

void createApplicationWindows() {
    FRM_Main = new TFRM_Main;
    FRM_Prog = new TFRM_Prog(FRM_Main);
}

void destroyApplicationWindows() {
    delete FRM_Main; // owns the dialog
    FRM_Main = nullptr;
    FRM_Prog = nullptr;
}

void openFromCommandLine(const QStringList& arguments) {
    if (arguments.size() < 2 || FRM_Main == nullptr)
        return;
    QTimer::singleShot(0, FRM_Main, [file = arguments.at(1)] {
        runHandler([&] { FRM_Main->OpenProgData(file); });
    });
}

namespace {

constexpr int kOuterWidth = 438;
constexpr int kOuterHeight = 249;

// The number in the last two characters of a control's name (OPT_Tonsys_07 gives 7).
int nameNumber(const QObject* sender) {
    return sender->objectName().right(2).toInt();
}

QString fromCp1252(const std::string& text) {
    return QString::fromStdString(platform::cp1252ToUtf8(text));
}

std::string toCp1252(const QString& text) {
    return platform::utf8ToCp1252(text.toStdString());
}

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

TFRM_Main::TFRM_Main(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      openLink(platform::shellOpen), beep([] { QApplication::beep(); }) {
    setObjectName(QStringLiteral("FRM_Main"));
    setWindowTitle(kApplicationTitle);
    setWindowIcon(QIcon(QStringLiteral(":/zuvela/icon.bmp")));
    setFont(faceFont("MS Sans Serif", 11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    applyOuterSize();
    move(253, 174);

    buildControls();
    bindEvents();
    FormCreate(this);
    // The work starts at the first address: typing replaces it, Enter programs.
    TXT_Adresse_01->setFocus(Qt::OtherFocusReason);
    TXT_Adresse_01->selectAll();
}

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

    OPT_Tonsys_01 =
        radio(FRA_System, "OPT_Tonsys_01", optionCaption(G::Tonsys, 1), {12, 20, 95, 13}, true);
    OPT_Tonsys_02 =
        radio(FRA_System, "OPT_Tonsys_02", optionCaption(G::Tonsys, 2), {12, 36, 94, 13});
    OPT_Tonsys_03 =
        radio(FRA_System, "OPT_Tonsys_03", optionCaption(G::Tonsys, 3), {12, 52, 88, 13});
    OPT_Tonsys_04 =
        radio(FRA_System, "OPT_Tonsys_04", optionCaption(G::Tonsys, 4), {12, 68, 95, 13});
    OPT_Tonsys_05 =
        radio(FRA_System, "OPT_Tonsys_05", optionCaption(G::Tonsys, 5), {12, 84, 94, 13});
    OPT_Tonsys_06 =
        radio(FRA_System, "OPT_Tonsys_06", optionCaption(G::Tonsys, 6), {12, 100, 87, 13});
    OPT_Tonsys_07 =
        radio(FRA_System, "OPT_Tonsys_07", optionCaption(G::Tonsys, 7), {12, 116, 93, 13});

    FRA_Adressen = groupBox(this, "FRA_Adressen", " Rufadressen ", {276, 4, 149, 121});
    TXT_Adresse_01 = addressEdit(FRA_Adressen, "TXT_Adresse_01", 20, "57434");
    CHK_Adresse_01 =
        option<QCheckBox>(FRA_Adressen, "CHK_Adresse_01", "Ruf 1", {12, 24, 57, 13}, true);
    CHK_Adresse_02 = option<QCheckBox>(FRA_Adressen, "CHK_Adresse_02", "Ruf 2", {12, 48, 65, 13});
    TXT_Adresse_02 = addressEdit(FRA_Adressen, "TXT_Adresse_02", 44, "");
    CHK_Adresse_03 = option<QCheckBox>(FRA_Adressen, "CHK_Adresse_03", "Ruf 3", {12, 72, 65, 13});
    TXT_Adresse_03 = addressEdit(FRA_Adressen, "TXT_Adresse_03", 68, "");
    CHK_Adresse_04 = option<QCheckBox>(FRA_Adressen, "CHK_Adresse_04", "Ruf 4", {12, 96, 65, 13});
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

void TFRM_Main::bindEvents() {
    for (QRadioButton* button : tonsysButtons())
        connect(button, &QRadioButton::toggled, this, [this, button](bool on) {
            if (on)
                runHandler([&] { OnTonsystemChange(button); });
        });
    for (QRadioButton* button : auswerterButtons())
        connect(button, &QRadioButton::toggled, this, [this, button](bool on) {
            if (on)
                runHandler([&] { OnAuswertClick(button); });
        });
    addressKeys = new AddressFieldKeys(*this);
    for (QLineEdit* edit : addressEdits()) {
        addressKeys->installOn(edit);
        // A loaded text may be longer than typing allows; the field's own limit, which
        // would cut it, follows it back down as it gets shorter.
        connect(edit, &QLineEdit::textChanged, this, [this, edit](const QString& text) {
            if (edit->maxLength() > AdresseLen)
                edit->setMaxLength(std::max<int>(AdresseLen, static_cast<int>(text.size())));
        });
    }
    LBL_Info->installEventFilter(this);
    for (QRadioButton* button : schalterButtons())
        button->installEventFilter(this);
    connect(BTN_Prog, &QToolButton::clicked, this,
            [this] { runHandler([this] { BTN_ProgClick(BTN_Prog); }); });
    connect(BTN_Open, &QToolButton::clicked, this,
            [this] { runHandler([this] { OnMenuClick(BTN_Open); }); });
    connect(BTN_Save, &QToolButton::clicked, this,
            [this] { runHandler([this] { OnMenuClick(BTN_Save); }); });
    // Strg+O and Strg+S as the two buttons; their tool tips name the keys.
    for (QToolButton* button : {BTN_Open, BTN_Save, BTN_Prog})
        button->installEventFilter(this);
    const std::pair<QKeySequence::StandardKey, QToolButton*> keys[] = {
        {QKeySequence::Open, BTN_Open}, {QKeySequence::Save, BTN_Save}};
    for (const auto& key : keys) {
        QToolButton* button = key.second;
        auto* shortcut = new QShortcut(key.first, this);
        connect(shortcut, &QShortcut::activated, this,
                [this, button] { runHandler([this, button] { OnMenuClick(button); }); });
    }
}

QString TFRM_Main::shownToolTip(const QObject* control) const {
    auto keyName = [](QKeySequence::StandardKey key) {
        return QKeySequence(key).toString(QKeySequence::NativeText);
    };
    if (control == BTN_Open)
        return BTN_Open->toolTip() + QStringLiteral(" (%1)").arg(keyName(QKeySequence::Open));
    if (control == BTN_Save)
        return BTN_Save->toolTip() + QStringLiteral(" (%1)").arg(keyName(QKeySequence::Save));
    if (control == BTN_Prog)
        return QStringLiteral("Eingabetaste in einem Rufadressfeld");
    return QString();
}

std::array<QRadioButton*, 7> TFRM_Main::tonsysButtons() const {
    return {OPT_Tonsys_01, OPT_Tonsys_02, OPT_Tonsys_03, OPT_Tonsys_04,
            OPT_Tonsys_05, OPT_Tonsys_06, OPT_Tonsys_07};
}
std::array<QRadioButton*, 3> TFRM_Main::tonlenButtons() const {
    return {OPT_Tonlen_01, OPT_Tonlen_02, OPT_Tonlen_03};
}
std::array<QRadioButton*, 3> TFRM_Main::auswerterButtons() const {
    return {OPT_Auswerter_01, OPT_Auswerter_02, OPT_Auswerter_03};
}
std::array<QRadioButton*, 4> TFRM_Main::schalterButtons() const {
    return {OPT_Schalter_01, OPT_Schalter_02, OPT_Schalter_03, OPT_Schalter_04};
}
std::array<QRadioButton*, 2> TFRM_Main::lenButtons() const {
    return {OPT_Len_01, OPT_Len_02};
}
std::array<QLineEdit*, 4> TFRM_Main::addressEdits() const {
    return {TXT_Adresse_01, TXT_Adresse_02, TXT_Adresse_03, TXT_Adresse_04};
}
std::array<QCheckBox*, 4> TFRM_Main::addressBoxes() const {
    return {CHK_Adresse_01, CHK_Adresse_02, CHK_Adresse_03, CHK_Adresse_04};
}

void TFRM_Main::FormCreate(QObject*) {
    // The hints as the option-group table stores them (line feed before carriage return).
    const auto buttons = schalterButtons();
    for (std::size_t n = 0; n < buttons.size(); ++n)
        buttons[n]->setToolTip(
            QString::fromUtf8(optionGroup(OptionGroupId::SwitchMode).hints.at(n)));
    fillToneTable(ToneTable);
    OnTonsystemChange(OPT_Tonsys_01);
    OnAuswertClick(OPT_Auswerter_01);
}

void TFRM_Main::OnTonsystemChange(QObject* sender) {
    Tonsys = static_cast<uint8_t>(nameNumber(sender));
    const int allowed = toneLengthButtonFor(Tonsys);
    const auto buttons = tonlenButtons();
    for (int n = 1; n <= 3; ++n)
        buttons[n - 1]->setEnabled(n == allowed);
    buttons[allowed - 1]->setChecked(true);
}

void TFRM_Main::OnAuswertClick(QObject* sender) {
    AdresseLen = adresseLenForEvaluator(nameNumber(sender));
    for (QLineEdit* edit : addressEdits())
        edit->setMaxLength(AdresseLen);
    for (QLineEdit* edit : addressEdits()) {
        const std::string text = toCp1252(edit->text());
        if (text.size() > AdresseLen)
            edit->setText(fromCp1252(cutAddress(text, AdresseLen)));
    }
}

void TFRM_Main::OnAdresseEdit(QObject*, char32_t& key) {
    key = filterAddressKey(key);
}

void TFRM_Main::OnAdresseExit(QObject*) {
    for (QLineEdit* edit : addressEdits()) {
        const std::string text = toCp1252(edit->text());
        if (text.size() == AdresseLen)
            edit->setText(fromCp1252(normaliseRepeats(text, AdresseLen)));
    }
}

AddressSlots TFRM_Main::addressSlots() const {
    AddressSlots result;
    const auto edits = addressEdits();
    const auto boxes = addressBoxes();
    for (int n = 0; n < 4; ++n)
        result[n] = {boxes[n]->isChecked(), toCp1252(edits[n]->text())};
    return result;
}

bool TFRM_Main::CheckRufadressen() {
    if (const auto message = addressesProblem(settings(), ToneTable)) {
        showErrorBox(this, QString::fromStdString(*message));
        return false;
    }
    return true;
}

ProgSettings TFRM_Main::settings() const {
    auto checkedNumber = [](const auto& buttons) {
        for (std::size_t n = 0; n < buttons.size(); ++n)
            if (buttons[n]->isChecked())
                return static_cast<int>(n + 1);
        return 1;
    };
    ProgSettings s;
    s.tonsys = Tonsys;
    s.toneLength = checkedNumber(tonlenButtons());
    s.lenMode = checkedNumber(lenButtons());
    s.evaluator = checkedNumber(auswerterButtons());
    s.switchMode = checkedNumber(schalterButtons());
    s.addresses = addressSlots();
    s.adresseLen = AdresseLen;
    return s;
}

void TFRM_Main::BTN_ProgClick(QObject*) {
    OnAdresseExit(nullptr);
    const ProgTonesResult result = progTones(settings(), ToneTable);
    if (!result.ok) {
        showErrorBox(this, QString::fromStdString(result.message));
        return;
    }
    FRM_Prog->SetProgTones(result.tones);
    FRM_Prog->exec();
}

void TFRM_Main::LBL_InfoClick(QObject*) {
    openLink(std::string("mailto:") + kContactAddress + "?subject=Programmer für KV 740 / QMR 52");
}

void TFRM_Main::OnMenuClick(QObject* sender) {
    // Completed first, so also when the dialog is cancelled.
    OnAdresseExit(nullptr);
    if (sender == BTN_Open)
        loadProgData();
    else if (sender == BTN_Save)
        saveProgData();
}

// The options of a group of section "A", in the order of the file's numerals.
std::array<QRadioButton*, 7> TFRM_Main::groupButtons(int group) const {
    switch (static_cast<ProgDataGroup>(group)) {
    case ProgDataGroup::Tonsys:
        return tonsysButtons();
    case ProgDataGroup::ToneLen:
        return {OPT_Len_01, OPT_Len_02};
    case ProgDataGroup::Evaluator:
        return {OPT_Auswerter_01, OPT_Auswerter_02, OPT_Auswerter_03};
    case ProgDataGroup::SwitchMode:
        return {OPT_Schalter_01, OPT_Schalter_02, OPT_Schalter_03, OPT_Schalter_04};
    }
    return {};
}

void TFRM_Main::OpenProgData(const QString& fileName) {
    OnAdresseExit(nullptr);
    if (!QFileInfo::exists(fileName)) {
        showErrorBox(this,
                     QCoreApplication::translate(
                         "QFileDialog",
                         "%1\nFile not found.\nPlease verify the correct file name was given.")
                         .arg(fileName));
        return;
    }
    loadProgDataFile(fileName);
}

void TFRM_Main::loadProgData() {
    const QString name = DLG_Open->choose();
    if (name.isEmpty())
        return;
    loadProgDataFile(name);
}

void TFRM_Main::loadProgDataFile(const QString& name) {
    // What is no programming-data file is refused before any control changes: loading it
    // would set every control to its default and lose the user's settings.
    const ProgDataRead read = readProgDataFile(name.toStdString(), name.toStdString());
    if (!read.refusal.empty()) {
        showErrorBox(this, QString::fromStdString(read.refusal));
        return;
    }
    const platform::ProfileFile& profile = read.profile;
    // An option is selected as a click selects it: its handler runs only when it was not
    // selected before.
    for (ProgDataGroup group : progDataGroups) {
        const auto buttons = groupButtons(static_cast<int>(group));
        for (int n = 1; n <= progDataOptionCount(group); ++n) {
            if (progDataSelectsOption(profile, group, n)) {
                buttons[n - 1]->setFocus(Qt::OtherFocusReason);
                buttons[n - 1]->setChecked(true);
            }
        }
    }
    // A value that is no Boolean ends the loading here, in the default error box.
    const auto boxes = addressBoxes();
    for (int n = 1; n <= 4; ++n)
        boxes[n - 1]->setChecked(progDataAddressChecked(profile, n));
    const auto edits = addressEdits();
    for (int n = 1; n <= 4; ++n)
        setAddressText(edits[n - 1], fromCp1252(progDataAddressText(profile, n)));
    activateWindow();
    // The work goes on at the first address, selected: typing replaces it.
    TXT_Adresse_01->setFocus(Qt::OtherFocusReason);
    TXT_Adresse_01->selectAll();
}

void TFRM_Main::saveProgData() {
    if (!CheckRufadressen())
        return;
    const QString chosen = DLG_Save->choose();
    if (chosen.isEmpty())
        return;
    // A failed write reaches the default error box; the old file stays as it was.
    saveProgDataFile(settings(), progDataFileName(chosen.toStdString()));
}

QMenu* TFRM_Main::addressMenu(QLineEdit* edit) {
    return addressKeys->menu(edit);
}

TestCallPlan TFRM_Main::testCallFor(const QLineEdit* edit) const {
    // The amplitude is the dialog's slider's, set as it sends.
    return planTestCall(settings(), toCp1252(edit->text()), kAmplitudeRange.initial, false,
                        ToneTable);
}

void TFRM_Main::sendTestCall(QLineEdit* edit) {
    OnAdresseExit(edit);
    const TestCallPlan plan = testCallFor(edit);
    if (!plan.call) {
        showErrorBox(this, QString::fromStdString(plan.problem));
        return;
    }
    FRM_Prog->SendTestCall(*plan.call, ToneTable, this);
}

void TFRM_Main::pasteInto(QLineEdit* edit, QClipboard::Mode mode) {
    addressKeys->paste(edit, mode);
}

namespace {
// The switch-mode hints keep their stored line ends (LF before CR); the CR alone would be
// drawn as a blank at the start of the second line.
QString shownHint(const QString& hint) {
    QString shown = hint;
    shown.remove(u'\r');
    return shown;
}
} // namespace

bool TFRM_Main::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && qobject_cast<QToolButton*>(watched) != nullptr) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), shownToolTip(watched),
                           static_cast<QWidget*>(watched));
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        if (auto* button = qobject_cast<QRadioButton*>(watched)) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                               shownHint(button->toolTip()), button);
            return true;
        }
    }
    if (watched == LBL_Info) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            LBL_Info->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
            LBL_InfoClick(LBL_Info);
        return false;
    }
    return false;
}

void TFRM_Main::setAddressText(QLineEdit* edit, const QString& text) {
    edit->setMaxLength(std::max<int>(AdresseLen, static_cast<int>(text.size())));
    edit->setText(text);
}

void TFRM_Main::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    applyOuterSize();
    // A window manager reports its frame only once it has framed the window.
    QTimer::singleShot(200, this, [this] { applyOuterSize(); });
}

void TFRM_Main::applyOuterSize() {
    const QMargins frame(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    setFixedSize(kOuterWidth - frame.left() - frame.right(),
                 kOuterHeight - frame.top() - frame.bottom());
}
