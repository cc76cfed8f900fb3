// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open and save dialogs for programming-data files.
#include <QFileDialog>
#include <QObject>
#include <QPointer>

class ProgDataDialog : public QFileDialog {
    Q_OBJECT
public:
    enum class Purpose { Open, Save };
    ProgDataDialog(QWidget* parent, Purpose purpose);

    // The questions the save dialog asks about the file it writes; they are the dialog's own,
    // so that both read in the program's language.
    static QString replaceQuestion(const QString& name);
    static QString createQuestion(const QString& name);
    // The name a save writes: the chosen one with ".740" appended unless it ends so.
    static QString savedName(const QString& chosen);

    // The folder a dialog starts in: the program's own when it is run from there and may
    // write there (a copy in a folder of its own); otherwise the user's documents folder,
    // or the home folder when there is none.
    static QString initialFolder();

public slots:
    void accept() override;
    void done(int result) override;

public:
    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Purpose purpose_;
};

// DLG_Open and DLG_Save. The file dialog itself, whose model reads the folder it shows, is
// created when it is first shown, so that start-up reads no folder.
class ProgDataFileChooser : public QObject {
    Q_OBJECT
public:
    ProgDataFileChooser(QWidget* owner, ProgDataDialog::Purpose purpose);

    // Shows the dialog in its initial folder, offering the name chosen last time.
    // Returns the chosen file name, or an empty one when cancelled.
    QString choose();
    // The dialog once it has been shown; null before.
    ProgDataDialog* dialog() const { return dialog_; }

private:
    QWidget* owner_;
    ProgDataDialog::Purpose purpose_;
    QPointer<ProgDataDialog> dialog_;
    QString lastName_;
};
