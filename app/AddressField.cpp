// SPDX-License-Identifier: GPL-3.0-or-later
#include "AddressField.h"

#include "FormStyle.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace {

// Keys that move or leave rather than type: the filter lets them through.
bool isNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}

} // namespace

AddressFieldKeys::AddressFieldKeys(TFRM_Main& window) : QObject(&window), mainWindow(window) {}

void AddressFieldKeys::installOn(QLineEdit* edit) {
    edit->installEventFilter(this);
}

QMenu* AddressFieldKeys::menu(QLineEdit* edit) {
    QMenu* menu = edit->createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        // Named only by newer toolkit versions; its text names it in all.
        if (action->objectName() == QStringLiteral("edit-paste") ||
            action->text().section(u'\t', 0, 0) == QLineEdit::tr("&Paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, edit,
                    [this, edit] { paste(edit, QClipboard::Clipboard); });
        }
    }
    menu->addSeparator();
    QAction* call = menu->addAction(QStringLiteral("Testruf senden"));
    call->setObjectName(QStringLiteral("test-call"));
    // Why it cannot be sent, on the disabled entry.
    menu->setToolTipsVisible(true);
    const TestCallPlan plan = mainWindow.testCallFor(edit);
    std::optional<std::string> problem;
    if (!plan.call)
        problem = plan.problem;
    else if (progDialog()->Sending())
        problem = "Es wird gerade gesendet; ein Testruf muss warten, bis das Senden endet.";
    if (problem) {
        call->setEnabled(false);
        call->setToolTip(QString::fromStdString(*problem));
    }
    connect(call, &QAction::triggered, &mainWindow,
            [this, edit] { runHandler([this, edit] { mainWindow.sendTestCall(edit); }); });
    return menu;
}

void AddressFieldKeys::paste(QLineEdit* edit, QClipboard::Mode mode) {
    const QList<uint> pasted = QGuiApplication::clipboard()->text(mode).toUcs4();
    qsizetype room = mainWindow.adresseLen() - (edit->text().size() - edit->selectedText().size());
    auto letterAt = [&pasted](qsizetype i) {
        return i >= 0 && i < pasted.size() && QChar::isLetter(static_cast<char32_t>(pasted[i]));
    };
    QString kept;
    bool cut = false;
    for (qsizetype i = 0; i < pasted.size(); ++i) {
        char32_t key = pasted[i];
        const bool alone = !letterAt(i - 1) && !letterAt(i + 1);
        // The g of a word ("Pager") is a letter like the others, not the twelfth tone.
        if ((key == U'g' || key == U'G') && !alone)
            continue;
        // An address copied as a field shows it ("1R2R3"): its R repeats the character before,
        // as "Programmieren" will write it again.
        if (key == U'R' && alone) {
            const qsizetype at =
                edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
            const QString before = kept.isEmpty() ? edit->text().left(at) : kept;
            if (before.isEmpty())
                continue;
            key = before.back().unicode();
        }
        mainWindow.OnAdresseEdit(edit, key);
        if (key == 0 || key == 8)
            continue;
        if (room <= 0) {
            cut = true;
            break;
        }
        kept += QChar(static_cast<char16_t>(key));
        --room;
    }
    // Like a typed key that the filter drops, a paste that keeps nothing changes nothing; it
    // gives the sign, as a paste that the address length cuts short does.
    if (!kept.isEmpty())
        edit->insert(kept);
    if (kept.isEmpty() || cut)
        mainWindow.beep();
}

bool AddressFieldKeys::typeKey(QLineEdit* edit, const QKeyEvent& keyEvent) {
    const QString text = keyEvent.text();
    if (text.size() != 1 || isNavigationKey(keyEvent.key()))
        return false;
    // Select all, copy, cut, undo and redo: the field carries them out and types nothing
    // with Strg held. What undo and redo bring back was typed or pasted through the filter.
    if ((keyEvent.modifiers() & Qt::ControlModifier) && !(keyEvent.modifiers() & Qt::AltModifier))
        return false;
    const char32_t typed = text.at(0).unicode();
    char32_t key = typed;
    mainWindow.OnAdresseEdit(edit, key);
    // Typing stops at the address length, also in a longer text that a file put there.
    if (key != 8 && key != 0 &&
        edit->text().size() - edit->selectedText().size() >= mainWindow.adresseLen())
        key = 0;
    if (key == typed)
        return false;
    // A key the field cannot take is never dropped without a sign.
    if (key == 0)
        mainWindow.beep();
    else
        edit->insert(QString(QChar(static_cast<char16_t>(key))));
    return true;
}

bool AddressFieldKeys::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr)
        return false;
    if (event->type() == QEvent::ContextMenu) {
        QMenu* shown = menu(edit);
        shown->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
        delete shown;
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        // The selection paste of X11 desktops, through the filter as well.
        if (QGuiApplication::clipboard()->supportsSelection()) {
            edit->deselect();
            paste(edit, QClipboard::Selection);
        }
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->matches(QKeySequence::Paste)) {
            paste(edit, QClipboard::Clipboard);
            return true;
        }
        edit->setProperty(kTypingGoesOn, false);
        if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
            runHandler([this] { mainWindow.BTN_ProgClick(mainWindow.BTN_Prog); });
            return true;
        }
        return typeKey(edit, *keyEvent);
    }
    if (event->type() == QEvent::FocusIn && edit->property(kTypingGoesOn).toBool()) {
        // The first key of this address was typed into the dialog, which closed on it: the
        // rest follows it, whatever activates the window meanwhile.
        edit->setProperty(kTypingGoesOn, false);
        edit->end(false);
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        // The focus comes back to the field (a dialog or a message box closed, a file loaded,
        // the window activated again): its text is selected, so that typing replaces it and
        // Enter never sends the previous address again unnoticed. A click places the cursor
        // where it clicks; Tab selects by itself.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::OtherFocusReason)
            edit->selectAll();
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        // Leaving the field for another control of the window; not a window switch or popup.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            mainWindow.OnAdresseExit(edit);
    }
    return false;
}
