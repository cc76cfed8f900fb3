// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window's four address fields do beyond a plain line edit: the key filter, the
// paste through it (Strg+V, the menu, the middle button), the context menu with "Testruf
// senden", Enter as "Programmieren", and the selection when the focus comes back.
#include <QClipboard>
#include <QObject>

class QLineEdit;
class QMenu;
class TFRM_Main;

// Set on a field that took the first key of an address typed into the programming dialog: the
// next time the focus comes in, the field keeps its text unselected, so that typing goes on.
inline constexpr const char* kTypingGoesOn = "typingGoesOn";

class AddressFieldKeys : public QObject {
public:
    // Watches the fields it is installed on (installOn) for the window, whose address length,
    // tone system, key handler and sign it uses.
    explicit AddressFieldKeys(TFRM_Main& window);

    void installOn(QLineEdit* edit);

    // The context menu of an address field; see TFRM_Main::addressMenu.
    QMenu* menu(QLineEdit* edit);
    // Clipboard text into an address field as if typed; see TFRM_Main::pasteInto.
    void paste(QLineEdit* edit, QClipboard::Mode mode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A typed key through the filter: true when the key is taken care of here.
    bool typeKey(QLineEdit* edit, const class QKeyEvent& keyEvent);

    TFRM_Main& mainWindow;
};
