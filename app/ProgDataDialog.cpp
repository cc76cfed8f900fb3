// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgDataDialog.h"

#include "ProgDataFile.h"
#include "TApplication.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

namespace {

// The folder listing's size, type and date in German words and numbers, whatever the
// desktop's language: the toolkit writes them in the system locale's.
class GermanFileColumns : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* files = qobject_cast<const QFileSystemModel*>(index.model());
        if (files == nullptr || index.column() == 0)
            return;
        const QFileInfo info = files->fileInfo(index);
        switch (index.column()) {
        case 1:
            option->text = info.isDir() ? QString() : germanSize(info.size());
            break;
        case 2:
            option->text = info.isDir() ? QStringLiteral("Ordner")
                           : info.suffix().isEmpty()
                               ? QStringLiteral("Datei")
                               : QStringLiteral("%1-Datei").arg(info.suffix());
            break;
        case 3:
            option->text = QLocale(QLocale::German, QLocale::Germany)
                               .toString(info.lastModified(), QStringLiteral("dd.MM.yyyy HH:mm"));
            break;
        default:
            break;
        }
    }

private:
    static QString germanSize(qint64 bytes) {
        if (bytes < 1024)
            return QStringLiteral("%1 Byte").arg(bytes);
        const char* const units[] = {"KB", "MB", "GB", "TB"};
        double size = static_cast<double>(bytes) / 1024.0;
        int unit = 0;
        while (size >= 1024.0 && unit < 3) {
            size /= 1024.0;
            ++unit;
        }
        return QLocale(QLocale::German, QLocale::Germany).toString(size, 'f', 1) + u' ' +
               QLatin1String(units[unit]);
    }
};

} // namespace

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
    if (auto* details = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->setItemDelegate(new GermanFileColumns(details));
        // Wide enough for "1023 Byte", "740-Datei" and "31.12.2026 23:59" whole; the name
        // column leaves them room in the dialog's first size.
        const QFontMetrics metrics = details->fontMetrics();
        const int pad = 3 * metrics.averageCharWidth();
        for (const auto& [column, widest] :
             {std::pair{0, "feuerwehr-pager-12.740"}, std::pair{1, "1023 Byte"},
              std::pair{2, "740-Datei"}, std::pair{3, "31.12.2026 23:59"}})
            details->header()->resizeSection(
                column, metrics.horizontalAdvance(QLatin1String(widest)) + pad);
    }
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

QString ProgDataDialog::savedName(const QString& chosen) {
    return QString::fromStdString(progDataFileName(chosen.toStdString()));
}

void ProgDataDialog::accept() {
    if (purpose_ == Purpose::Save && !selectedFiles().isEmpty()) {
        const QFileInfo typed(selectedFiles().constFirst());
        if (!typed.fileName().isEmpty() && !typed.isDir()) {
            // The questions concern the file that will be written, ".740" appended.
            const QFileInfo chosen(savedName(typed.filePath()));
            if (chosen.isDir()) {
                showErrorBox(this, QStringLiteral("%1 ist ein Ordner.").arg(chosen.fileName()));
                return;
            }
            const bool exists = chosen.exists();
            const QString question =
                exists ? replaceQuestion(chosen.fileName()) : createQuestion(chosen.fileName());
            TMessageBox box(QMessageBox::Question, windowTitle(), question,
                            QMessageBox::Yes | QMessageBox::No, this);
            // Replacing is not the safe answer; creating is what the user asked for.
            box.setDefaultButton(exists ? QMessageBox::No : QMessageBox::Yes);
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
    if (purpose_ == ProgDataDialog::Purpose::Save)
        chosen = ProgDataDialog::savedName(chosen);
    lastName_ = QFileInfo(chosen).fileName();
    return chosen;
}
