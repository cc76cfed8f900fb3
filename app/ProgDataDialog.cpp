#include "ProgDataDialog.h"

#include "TApplication.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

ProgDataDialog::ProgDataDialog(QWidget* parent, Purpose purpose)
    : QFileDialog(parent), purpose_(purpose) {
    // Our own dialog everywhere, so that the questions below are asked the same way.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setNameFilter(QStringLiteral("KV 740 Programmierdaten (*.740)"));
    setSizeGripEnabled(true);
    if (purpose == Purpose::Open) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile); // path and file must exist
    } else {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setWindowTitle(QStringLiteral("Programmierdaten speichern"));
    }
}

QString ProgDataDialog::choose() {
    setDirectory(QCoreApplication::applicationDirPath());
    if (!lastName_.isEmpty())
        selectFile(lastName_);
    if (exec() != QDialog::Accepted || selectedFiles().isEmpty())
        return {};
    QString chosen = selectedFiles().constFirst();
    if (QFileInfo(chosen).fileName().isEmpty())
        return {};
    lastName_ = QFileInfo(chosen).fileName();
    return chosen;
}

QString ProgDataDialog::replaceQuestion(const QString& name) {
    return QStringLiteral("%1 ist bereits vorhanden.\nSoll die Datei ersetzt werden?").arg(name);
}

QString ProgDataDialog::createQuestion(const QString& name) {
    return QStringLiteral("%1 ist nicht vorhanden.\nSoll die Datei erstellt werden?").arg(name);
}

void ProgDataDialog::accept() {
    if (purpose_ == Purpose::Save && !selectedFiles().isEmpty()) {
        const QFileInfo chosen(selectedFiles().constFirst());
        if (!chosen.fileName().isEmpty() && !chosen.isDir()) {
            const QString question = chosen.exists() ? replaceQuestion(chosen.fileName())
                                                     : createQuestion(chosen.fileName());
            const auto answer = QMessageBox::question(
                this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes)
                return; // back to the dialog
        }
    }
    QFileDialog::accept();
}
