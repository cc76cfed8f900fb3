// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgDataDialog.h"

#include "TApplication.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

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
    for (QCompleter* completer : findChildren<QCompleter*>())
        if (completer->popup() != nullptr)
            completer->popup()->installEventFilter(this);
}

QString ProgDataDialog::initialFolder() {
    QString program = QCoreApplication::applicationDirPath();
    const QFileInfo programFolder(program);
    if (programFolder.isWritable() &&
        QFileInfo(QDir::currentPath()).canonicalFilePath() == programFolder.canonicalFilePath())
        return program;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
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
            TMessageBox box(QMessageBox::Question, windowTitle(), question,
                            QMessageBox::Yes | QMessageBox::No, this);
            box.setDefaultButton(QMessageBox::No);
            fitCaption(box);
            if (box.exec() != QMessageBox::Yes)
                return; // back to the dialog
        }
    }
    QFileDialog::accept();
}

void ProgDataDialog::done(int result) {
    // The file-name completer's popup would outlive the dialog and hold the mouse, so that
    // the next click in the main window only closed it.
    for (QCompleter* completer : findChildren<QCompleter*>())
        if (completer->popup() != nullptr)
            completer->popup()->hide();
    QFileDialog::done(result);
}

void ProgDataDialog::setVisible(bool visible) {
    if (visible && !isVisible())
        placeCentred(this, parentWidget());
    QFileDialog::setVisible(visible);
}

bool ProgDataDialog::eventFilter(QObject* watched, QEvent* event) {
    // The folder model answers late: a completion that arrives after the dialog has closed
    // must not open the popup again.
    if (event->type() == QEvent::Show && !isVisible()) {
        if (auto* popup = qobject_cast<QWidget*>(watched))
            QTimer::singleShot(0, popup, &QWidget::hide);
    }
    return QFileDialog::eventFilter(watched, event);
}

ProgDataFileChooser::ProgDataFileChooser(QWidget* owner, ProgDataDialog::Purpose purpose)
    : QObject(owner), owner_(owner), purpose_(purpose) {}

QString ProgDataFileChooser::choose() {
    if (dialog_ == nullptr) {
        dialog_ = new ProgDataDialog(owner_, purpose_);
        dialog_->setObjectName(objectName());
    }
    dialog_->setDirectory(ProgDataDialog::initialFolder());
    if (!lastName_.isEmpty())
        dialog_->selectFile(lastName_);
    if (dialog_->exec() != QDialog::Accepted || dialog_->selectedFiles().isEmpty())
        return {};
    QString chosen = dialog_->selectedFiles().constFirst();
    if (QFileInfo(chosen).fileName().isEmpty())
        return {};
    lastName_ = QFileInfo(chosen).fileName();
    return chosen;
}
