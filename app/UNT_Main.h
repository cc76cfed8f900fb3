// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: tone system, options, call addresses, loading, saving and programming.
#include "Addresses.h"
#include "ProgEncoder.h"
#include "TestCall.h"
#include "ToneTable.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QToolButton;
class TFRM_Main;
class TFRM_Prog;
class ProgDataFileChooser;
class AddressFieldKeys;
class FleetWindow;

// The program's two windows, created at start-up and alive until it ends.
extern TFRM_Main* FRM_Main;
extern TFRM_Prog* FRM_Prog;

// Creates the main window, then the programming dialog (hidden).
void createApplicationWindows();
// The program's start: the main window is created and shown; the programming dialog (its
// sound devices, mixer and stored choices) is made once the window's first frame is drawn, or
// earlier when a handler needs it.
void showApplicationWindows();
// The programming dialog, made now if start-up has not made it yet.
TFRM_Prog* progDialog();
// Destroys both windows (the dialog is owned by the main window).
void destroyApplicationWindows();
// A programming-data file named on the command line (arguments as the program got them,
// its own name first) is loaded once the event loop runs, as the open button loads one.
void openFromCommandLine(const QStringList& arguments);

// The contact behind the information label.
inline constexpr const char* kContactAddress = "kontakt@zuvela.example";

class TFRM_Main : public QWidget {
    Q_OBJECT
public:
    explicit TFRM_Main(QWidget* parent = nullptr);
    ~TFRM_Main() override;

    QGroupBox* FRA_System;
    QGroupBox* FRA_Len1;
    QRadioButton* OPT_Tonlen_01;
    QRadioButton* OPT_Tonlen_02;
    QRadioButton* OPT_Tonlen_03;
    QGroupBox* FRA_Auswerter;
    QRadioButton* OPT_Auswerter_01;
    QRadioButton* OPT_Auswerter_02;
    QRadioButton* OPT_Auswerter_03;
    QGroupBox* FRA_Modi;
    QRadioButton* OPT_Schalter_01;
    QRadioButton* OPT_Schalter_02;
    QRadioButton* OPT_Schalter_03;
    QRadioButton* OPT_Schalter_04;
    QRadioButton* OPT_Tonsys_01;
    QRadioButton* OPT_Tonsys_02;
    QRadioButton* OPT_Tonsys_03;
    QRadioButton* OPT_Tonsys_04;
    QRadioButton* OPT_Tonsys_05;
    QRadioButton* OPT_Tonsys_06;
    QRadioButton* OPT_Tonsys_07;
    QGroupBox* FRA_Adressen;
    QLineEdit* TXT_Adresse_01;
    QCheckBox* CHK_Adresse_01;
    QCheckBox* CHK_Adresse_02;
    QLineEdit* TXT_Adresse_02;
    QCheckBox* CHK_Adresse_03;
    QLineEdit* TXT_Adresse_03;
    QCheckBox* CHK_Adresse_04;
    QLineEdit* TXT_Adresse_04;
    QGroupBox* FRA_Len2;
    QRadioButton* OPT_Len_01;
    QRadioButton* OPT_Len_02;
    QFrame* PAN_Menu;
    QToolButton* BTN_Open;
    QToolButton* BTN_Save;
    QToolButton* BTN_Prog;
    ProgDataFileChooser* DLG_Save;
    ProgDataFileChooser* DLG_Open;
    QLabel* LBL_Info;
    QLabel* LBL_Version;
    // How the last send went, until the next: a stop is never taken for a programmed pager.
    QLabel* LBL_LastSend;

    void FormCreate(QObject* sender);
    void OnTonsystemChange(QObject* sender);
    // Replaces key by the character to insert, or by 0 to discard it.
    void OnAdresseEdit(QObject* sender, char32_t& key);
    void LBL_InfoClick(QObject* sender);
    void BTN_ProgClick(QObject* sender);
    void OnAdresseExit(QObject* sender);
    void OnMenuClick(QObject* sender);
    void OnAuswertClick(QObject* sender);

    // Runs the address check, a character without a tone in the tone system included (as
    // "Programmieren" checks); shows the message of a failing stage and returns false.
    bool CheckRufadressen();

    uint8_t tonsys() const { return Tonsys; }
    uint8_t adresseLen() const { return AdresseLen; }
    const TToneTable& toneTable() const { return ToneTable; }

    // Loads a programming-data file as the open button loads the file chosen in its dialog,
    // with the same messages; a file that is not there gets the open dialog's own message.
    void OpenProgData(const QString& fileName);

    // The context menu of an address field; its paste goes through the key filter. Built
    // afresh for each showing. Its last entry, "Testruf senden", is disabled with the reason
    // as its tool tip while the field's address cannot be sent or something is being sent.
    QMenu* addressMenu(QLineEdit* edit);
    // Completes the field as leaving it does and sends its address as a test call through the
    // programming dialog's output, without showing the dialog.
    void sendTestCall(QLineEdit* edit);
    // The test call of a field's address as it stands, with the window's settings, or why it
    // cannot be sent.
    TestCallPlan testCallFor(const QLineEdit* edit) const;
    // Inserts clipboard text into an address field as if it were typed: what the key filter
    // drops is dropped, and the insertion stops at the address length. A 'g' or 'G' is taken
    // only standing alone, never from a word ("Pager Nr. 4711-2" gives 47112). A paste that
    // keeps nothing, or is cut short by the length, gives the sign (beep).
    void pasteInto(QLineEdit* edit, QClipboard::Mode mode);

    // The settings as the controls hold them now.
    ProgSettings settings() const;
    // Sets the controls to settings as loading a file sets them (an option selected as a click
    // selects it), and leaves the focus in the first address, selected.
    void showSettings(const ProgSettings& settings);
    // The fleet list's window (Strg+L, or "Liste …" in the window's context menu), made on
    // first use; the main window owns it.
    FleetWindow* fleetWindow();

    // The tool tip a flat button shows: its hint and the key that does the same.
    QString shownToolTip(const QObject* control) const;

    // Hands a link to the desktop; tests replace it to see the link.
    std::function<void(const std::string&)> openLink;
    // The sign for a key that an address field cannot take (the filter drops it, or the field
    // is full): the system's beep. Tests replace it to count the signs.
    std::function<void()> beep;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A key typed into the programming dialog that closed it: it goes on in the address field
    // once this window is active again (after its field selected its text on the way in).
    struct TypedOn {
        QLineEdit* field = nullptr;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QString text;
        QElapsedTimer since;
    };
    std::optional<TypedOn> typedOn_;
    void passTypedKeyOn();
    void showLastSend();

    std::array<QRadioButton*, 7> tonsysButtons() const;
    std::array<QRadioButton*, 3> tonlenButtons() const;
    std::array<QRadioButton*, 3> auswerterButtons() const;
    std::array<QRadioButton*, 4> schalterButtons() const;
    std::array<QRadioButton*, 2> lenButtons() const;
    std::array<QLineEdit*, 4> addressEdits() const;
    std::array<QCheckBox*, 4> addressBoxes() const;

    void buildControls();
    void loadProgData();
    void loadProgDataFile(const QString& fileName);
    void saveProgData();
    std::array<QRadioButton*, 7> groupButtons(int group) const;
    void bindEvents();
    void applyOuterSize();
    // Sets an address text as it stands, even when it is longer than typing allows.
    void setAddressText(QLineEdit* edit, const QString& text);
    AddressSlots addressSlots() const;

    // The address fields' key filter, paste and context menu.
    AddressFieldKeys* addressKeys = nullptr;
    FleetWindow* fleet_ = nullptr;
    TToneTable ToneTable;
    uint8_t Tonsys = 0;
    uint8_t AdresseLen = 0;
};
