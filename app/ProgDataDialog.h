#pragma once
// The open and save dialogs for programming-data files.
#include <QFileDialog>

class ProgDataDialog : public QFileDialog {
    Q_OBJECT
public:
    enum class Purpose { Open, Save };
    ProgDataDialog(QWidget* parent, Purpose purpose);

    // Shows the dialog in the executable's folder, offering the name chosen last time.
    // Returns the chosen file name, or an empty one when cancelled.
    QString choose();

    // The questions the save dialog asks about the name as typed; they are the dialog's own,
    // so that both read in the program's language.
    static QString replaceQuestion(const QString& name);
    static QString createQuestion(const QString& name);

public slots:
    void accept() override;

private:
    Purpose purpose_;
    QString lastName_;
};
