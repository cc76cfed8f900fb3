// SPDX-License-Identifier: GPL-3.0-or-later
#include "UNT_Main.h"

#include "AddressField.h"
#include "Cp1252.h"
#include "FleetWindow.h"
#include "FormStyle.h"
#include "OptionGroups.h"
#include "ProgDataDialog.h"
#include "ProgDataFile.h"
#include "ProgEngine.h"
#include "Shell.h"
#include "TApplication.h"
#include "UNT_Prog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <functional>
#include <utility>

TFRM_Main* FRM_Main = nullptr;
TFRM_Prog* FRM_Prog = nullptr;

namespace {

// Runs a task from the event loop once a window's first frame is drawn: after the paint that
// drew it has been handed to the screen.
class AfterFirstFrame final : public QObject {
public:
    AfterFirstFrame(QWidget* window, std::function<void()> task)
        : QObject(window), task_(std::move(task)) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                task_();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> task_;
};

} // namespace

TFRM_Prog* progDialog() {
    if (FRM_Prog == nullptr && FRM_Main != nullptr)
        FRM_Prog = new TFRM_Prog(FRM_Main);
    return FRM_Prog;
}

void createApplicationWindows() {
    FRM_Main = new TFRM_Main;
    progDialog();
}

void showApplicationWindows() {
    FRM_Main = new TFRM_Main;
    // The first frame needs nothing of the dialog; listing the sound devices and opening the
    // mixer would only hold it back.
    new AfterFirstFrame(FRM_Main, [] { progDialog(); });
    FRM_Main->show();
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

} // namespace

TFRM_Main::TFRM_Main(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      openLink(platform::shellOpen), beep([] { QApplication::beep(); }) {
    setObjectName(QStringLiteral("FRM_Main"));
    setWindowTitle(kApplicationTitle);
    setWindowIcon(QIcon(bmpPicture(QStringLiteral(":/zuvela/icon.bmp"))));
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
    // The fleet list: Strg+L, and for the mouse the window's context menu (a right click
    // anywhere beside the address fields, which have menus of their own).
    auto* list = new QAction(QStringLiteral("Liste …"), this);
    list->setObjectName(QStringLiteral("ACT_Liste"));
    list->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    list->setShortcutContext(Qt::WindowShortcut);
    connect(list, &QAction::triggered, this,
            [this] { runHandler([this] { fleetWindow()->open(); }); });
    addAction(list);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

TFRM_Main::~TFRM_Main() {
    delete fleet_; // a top-level window of its own, not a child
}

FleetWindow* TFRM_Main::fleetWindow() {
    if (fleet_ == nullptr)
        fleet_ = new FleetWindow(*this);
    return fleet_;
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
    s.lenMode = checkedNumber(lenButtons());
    s.evaluator = checkedNumber(auswerterButtons());
    s.switchMode = checkedNumber(schalterButtons());
    s.addresses = addressSlots();
    return s;
}

void TFRM_Main::BTN_ProgClick(QObject*) {
    OnAdresseExit(nullptr);
    TFRM_Prog* dialog = progDialog();
    const ProgTonesResult result = dialog->Session.program(settings(), ToneTable);
    if (!result.ok) {
        showErrorBox(this, QString::fromStdString(result.message));
        return;
    }
    QWidget* field = focusWidget();
    connect(dialog, &TFRM_Prog::sessionChanged, this, &TFRM_Main::showLastSend,
            Qt::UniqueConnection);
    dialog->ShowSessionTones();
    dialog->exec();
    // An address typed in the dialog closed it: it goes on in the address field it came from
    // (the first one when the loop did not start in one), replacing the address there.
    if (const std::optional<TFRM_Prog::TypedKey> typed = dialog->TakeTypedKey()) {
        const auto edits = addressEdits();
        auto* edit = qobject_cast<QLineEdit*>(field);
        if (edit == nullptr || std::find(edits.begin(), edits.end(), edit) == edits.end())
            edit = TXT_Adresse_01;
        typedOn_ = TypedOn{edit, typed->key, typed->modifiers, typed->text, {}};
        typedOn_->since.start();
        activateWindow();
        if (isActiveWindow())
            passTypedKeyOn();
    }
}

void TFRM_Main::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && typedOn_)
        passTypedKeyOn();
}

void TFRM_Main::showLastSend() {
    const ProgSession& session = progDialog()->Session;
    if (session.sending()) {
        LBL_LastSend->clear();
        return;
    }
    const std::optional<SendOutcome>& outcome = session.lastOutcome();
    const QString text = outcome ? QString::fromStdString(sendOutcomeText(*outcome)) : QString();
    setTextColour(LBL_LastSend, outcome && outcome->end == SendEnd::Sent ? kGreen : kMaroon);
    LBL_LastSend->setToolTip(text);
    LBL_LastSend->setText(
        LBL_LastSend->fontMetrics().elidedText(text, Qt::ElideRight, LBL_LastSend->width()));
}

void TFRM_Main::passTypedKeyOn() {
    const std::optional<TypedOn> typed = std::exchange(typedOn_, std::nullopt);
    // A key from long ago belongs to no address any more.
    if (!typed || typed->since.elapsed() > 3000)
        return;
    typed->field->setFocus(Qt::OtherFocusReason);
    typed->field->selectAll();
    QKeyEvent press(QEvent::KeyPress, typed->key, typed->modifiers, typed->text);
    QCoreApplication::sendEvent(typed->field, &press);
    typed->field->setProperty(kTypingGoesOn, true);
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

void TFRM_Main::showSettings(const ProgSettings& s) {
    // An option is selected as a click selects it: its handler runs when it was not selected.
    const std::pair<std::array<QRadioButton*, 7>, int> choices[] = {
        {groupButtons(static_cast<int>(ProgDataGroup::Tonsys)), s.tonsys},
        {groupButtons(static_cast<int>(ProgDataGroup::ToneLen)), s.lenMode},
        {groupButtons(static_cast<int>(ProgDataGroup::Evaluator)), s.evaluator},
        {groupButtons(static_cast<int>(ProgDataGroup::SwitchMode)), s.switchMode}};
    for (const auto& [buttons, n] : choices) {
        if (n < 1 || n > 7 || buttons[n - 1] == nullptr)
            continue;
        buttons[n - 1]->setFocus(Qt::OtherFocusReason);
        buttons[n - 1]->setChecked(true);
    }
    const auto boxes = addressBoxes();
    const auto edits = addressEdits();
    for (int n = 0; n < 4; ++n) {
        boxes[n]->setChecked(s.addresses[n].checked);
        setAddressText(edits[n], fromCp1252(s.addresses[n].text));
    }
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
    progDialog()->SendTestCall(*plan.call, ToneTable, this);
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
