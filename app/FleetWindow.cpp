// SPDX-License-Identifier: GPL-3.0-or-later
#include "FleetWindow.h"

#include "AppendFile.h"
#include "FormStyle.h"
#include "OptionGroups.h"
#include "ProfileFile.h"
#include "ProgEngine.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

namespace {

// The columns of the table: the list's line, its eleven columns, and the last result.
constexpr int kLineColumn = 0;
constexpr int kFirstListColumn = 1;
constexpr int kResultColumn = kFirstListColumn + kFleetColumns;
// Where the list last used is remembered.
const QString kListKey = QStringLiteral("fleet/list");
// A message names this many bad lines, then how many more there are.
constexpr std::size_t kShownProblems = 12;

QSettings userSettings() {
    return QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela"));
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string quoted(const QString& file) {
    return "\"" + file.toStdString() + "\"";
}

// The file's bytes, or nothing when it cannot be read; with a limit, up to one byte over it,
// so that core can refuse a list for its size.
std::optional<std::string> fileBytes(const QString& name, std::optional<qint64> limit = {}) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = limit ? file.read(*limit + 1) : file.readAll();
    return bytes.toStdString();
}

QString resultText(const FleetLastResult& last) {
    QString text = qs(last.text) + QStringLiteral(" (") + qs(last.time) + u')';
    if (!last.check.empty())
        text += QStringLiteral(" – ") + qs(last.check);
    return text;
}

// "ZVEI 2, 5 Ton, Schaltbar, Normal" as zuvela-cli's list prints it.
std::string settingsText(const ProgSettings& s) {
    return std::string(optionCaption(OptionGroupId::Tonsys, s.tonsys)) + ", " +
           optionCaption(OptionGroupId::Evaluator, s.evaluator) + ", " +
           optionCaption(OptionGroupId::SwitchMode, s.switchMode) + ", " +
           optionCaption(OptionGroupId::LenMode, s.lenMode);
}

} // namespace

// A window of its own, not one kept above the main window: the two take turns in front.
FleetWindow::FleetWindow(TFRM_Main& main) : QWidget(nullptr, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("FRM_Liste"));
    // Closing the main window ends the program, this window open or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Liste"));
    setWindowIcon(main.windowIcon());
    buildControls();
    buildMenu();
    resize(980, 300);
    TFRM_Prog* dialog = progDialog();
    dialog->beforeSend = [this] { return beforeSend(); };
    dialog->sendEnded = [this](const TSendOutcome& outcome) { sendEnded(outcome); };
}

FleetWindow::~FleetWindow() {
    if (FRM_Prog != nullptr) {
        FRM_Prog->beforeSend = nullptr;
        FRM_Prog->sendEnded = nullptr;
    }
}

void FleetWindow::buildControls() {
    TBL_Liste = new QTableWidget(this);
    TBL_Liste->setObjectName(QStringLiteral("TBL_Liste"));
    TBL_Liste->setColumnCount(kResultColumn + 1);
    QStringList headers{QStringLiteral("Zeile")};
    for (int c = 0; c < kFleetColumns; ++c)
        headers << qs(fleetColumnName(static_cast<FleetColumn>(c)));
    headers << QStringLiteral("Letztes Ergebnis");
    TBL_Liste->setHorizontalHeaderLabels(headers);
    TBL_Liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TBL_Liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    TBL_Liste->setSelectionMode(QAbstractItemView::SingleSelection);
    TBL_Liste->setTabKeyNavigation(false);
    TBL_Liste->verticalHeader()->hide();
    TBL_Liste->setWordWrap(false); // a line of the list is a line of the table
    TBL_Liste->horizontalHeader()->setStretchLastSection(true);
    // Enter or a double click chooses the line.
    connect(TBL_Liste, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { runHandler([&] { chooseLine(index.row()); }); });

    LBL_Status = new QLabel(this);
    LBL_Status->setObjectName(QStringLiteral("LBL_Status"));
    LBL_Status->setWordWrap(true);
    LBL_Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LBL_Status->setText(QStringLiteral("Keine Liste geladen: Strg+O öffnet eine, Strg+N legt "
                                       "eine aus den Einstellungen an."));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(TBL_Liste, 1);
    layout->addWidget(LBL_Status);
}

void FleetWindow::buildMenu() {
    auto* bar = new QMenuBar(this);
    layout()->setMenuBar(bar);
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, auto action) {
        QAction* entry = menu->addAction(text);
        entry->setShortcut(key);
        entry->setShortcutContext(Qt::WindowShortcut);
        addAction(entry); // the keys work without the menu bar too
        connect(entry, &QAction::triggered, this, [action] { runHandler(action); });
        return entry;
    };
    QMenu* list = bar->addMenu(QStringLiteral("&Liste"));
    add(list, QStringLiteral("&Importieren …"), QKeySequence::Open, [this] { askOpen(); });
    add(list, QStringLiteral("&Exportieren …"), QKeySequence::Save, [this] { askExport(); });
    add(list, QStringLiteral("&Neu aus den Einstellungen …"), QKeySequence::New,
        [this] { askNew(); });
    list->addSeparator();
    add(list, QStringLiteral("&Schließen"), QKeySequence(Qt::CTRL | Qt::Key_W),
        [this] { close(); });
    QMenu* record = bar->addMenu(QStringLiteral("&Protokoll"));
    add(record, QStringLiteral("&Pager drucken …"), QKeySequence::Print,
        [this] { askPrint(false); });
    add(record, QStringLiteral("Pager als PDF &speichern …"), QKeySequence(),
        [this] { askPdf(false); });
    add(record, QStringLiteral("&Liste drucken …"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
        [this] { askPrint(true); });
    add(record, QStringLiteral("Liste als PDF sp&eichern …"), QKeySequence(),
        [this] { askPdf(true); });
}

void FleetWindow::open() {
    if (!isVisible()) {
        // Below the main window, so that both can be seen.
        const QRect mainFrame = main_.frameGeometry();
        move(mainFrame.left(), mainFrame.bottom() + 8);
        show();
    }
    raise();
    activateWindow();
    TBL_Liste->setFocus(Qt::OtherFocusReason);
    if (listFile_.isEmpty()) {
        const QString remembered = userSettings().value(kListKey).toString();
        if (!remembered.isEmpty() && QFileInfo::exists(remembered))
            loadList(remembered);
    }
}

void FleetWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString FleetWindow::recordFile() const {
    return listFile_.isEmpty() ? QString() : qs(fleetRecordNameFor(listFile_.toStdString()));
}

bool FleetWindow::loadList(const QString& file) {
    const std::optional<std::string> bytes =
        fileBytes(file, static_cast<qint64>(kFleetListMaxBytes));
    if (!bytes) {
        showErrorBox(this, QStringLiteral("Die Liste \"%1\" lässt sich nicht lesen.").arg(file));
        return false;
    }
    FleetList read = readFleetList(*bytes, quoted(QFileInfo(file).fileName()));
    if (!read.refusal.empty()) {
        showErrorBox(this, qs(read.refusal)); // the list shown stays as it was
        return false;
    }
    list_ = std::move(read);
    listFile_ = QFileInfo(file).absoluteFilePath();
    record_.reset(); // the next send opens the record beside this list
    lastRow_ = -1;
    chosen_ = -1;
    tones_.clear();
    for (const FleetPager& p : list_.pagers) {
        const ProgTonesResult r = p.ok() ? progTones(p.settings) : ProgTonesResult{};
        tones_.push_back(p.ok() && r.ok ? std::optional<TProgTones>(r.tones) : std::nullopt);
    }
    try {
        last_ = fleetLastResults(
            platform::readRecordBytes(recordFile().toStdString(), kFleetRecordMaxBytes));
    } catch (const platform::AppendFileError& e) {
        last_.clear();
        list_.notes.push_back(fleetRecordUnreadable(quoted(recordFile()), e.what()));
    }
    userSettings().setValue(kListKey, listFile_);
    setWindowTitle(QStringLiteral("Liste – ") + QFileInfo(file).fileName());
    showList();
    const std::vector<std::string> problems = list_.problems();
    if (!problems.empty()) {
        QString text = QStringLiteral("Diese Zeilen werden nicht gesendet:");
        for (std::size_t n = 0; n < problems.size() && n < kShownProblems; ++n)
            text += u'\n' + qs(problems[n]);
        if (problems.size() > kShownProblems)
            text += QStringLiteral("\n… und %1 weitere.").arg(problems.size() - kShownProblems);
        showErrorBox(this, text);
    }
    return true;
}

void FleetWindow::showList() {
    TBL_Liste->setRowCount(static_cast<int>(list_.pagers.size()));
    for (int row = 0; row < TBL_Liste->rowCount(); ++row) {
        const FleetPager& p = list_.pagers[static_cast<std::size_t>(row)];
        TBL_Liste->setItem(row, kLineColumn, new QTableWidgetItem(QString::number(p.line)));
        const auto cells = fleetCells(p);
        for (int c = 0; c < kFleetColumns; ++c)
            TBL_Liste->setItem(row, kFirstListColumn + c,
                               new QTableWidgetItem(qs(cells[static_cast<std::size_t>(c)])));
        showResult(row);
    }
    TBL_Liste->resizeColumnsToContents();
    QString status =
        QStringLiteral("%1 Zeilen, gelesen als %2, getrennt durch \"%3\"; Protokoll: %4")
            .arg(list_.pagers.size())
            .arg(qs(textEncodingName(list_.encoding)))
            .arg(QChar(list_.separator))
            .arg(QFileInfo(recordFile()).fileName());
    for (const std::string& note : list_.notes)
        status += u'\n' + qs(note);
    LBL_Status->setText(status);
    if (!list_.pagers.empty()) {
        TBL_Liste->setCurrentCell(0, kFirstListColumn);
        chosen_ = -1; // shown, not yet chosen: the main window keeps its settings
    }
}

void FleetWindow::showResult(int row) {
    const FleetPager& p = list_.pagers[static_cast<std::size_t>(row)];
    auto* item = new QTableWidgetItem;
    if (!p.ok()) {
        item->setText(QStringLiteral("Nicht sendbar: ") + qs(p.problem));
        item->setForeground(kMaroon);
    } else if (const auto found = last_.find(p.label); found != last_.end()) {
        item->setText(resultText(found->second));
        if (found->second.result != FleetResult::Sent)
            item->setForeground(kMaroon);
    }
    TBL_Liste->setItem(row, kResultColumn, item);
}

void FleetWindow::chooseLine(int row) {
    if (row < 0 || row >= static_cast<int>(list_.pagers.size()))
        return;
    TBL_Liste->setCurrentCell(row, std::max(TBL_Liste->currentColumn(), 0));
    const FleetPager& p = list_.pagers[static_cast<std::size_t>(row)];
    if (!p.ok()) {
        showErrorBox(this, qs(fleetLineMessage(p)));
        return;
    }
    chosen_ = row;
    main_.showSettings(p.settings);
    // While the programming dialog is up (the next line after a send), it keeps the focus.
    if (FRM_Prog == nullptr || !FRM_Prog->isVisible()) {
        main_.raise();
        main_.activateWindow();
    }
}

int FleetWindow::rowFor(const TProgTones& tones) const {
    auto programs = [&](int row) {
        return row >= 0 && row < static_cast<int>(tones_.size()) &&
               tones_[static_cast<std::size_t>(row)] == tones;
    };
    if (programs(chosen_))
        return chosen_;
    if (programs(lastRow_))
        return lastRow_;
    for (int row = 0; row < static_cast<int>(tones_.size()); ++row)
        if (programs(row))
            return row;
    return -1;
}

// What the dialog is about to send: a line's settings, or the main window's for a send that is
// no line of the list. The main window may show the next line already.
ProgSettings FleetWindow::sendingSettings(int row) const {
    return row >= 0 ? list_.pagers[static_cast<std::size_t>(row)].settings : main_.settings();
}

bool FleetWindow::beforeSend() {
    sending_ = -1;
    if (listFile_.isEmpty())
        return true; // without a list every send is as it always was
    TFRM_Prog* dialog = FRM_Prog;
    const int row = rowFor(dialog->Tones);
    if (row >= 0 && !record_) {
        // The record is opened before the first send of the list: one that cannot be written
        // stops it here, with nothing sent.
        try {
            auto file = std::make_unique<platform::AppendFile>(recordFile().toStdString());
            if (file->wasEmpty())
                file->append(fleetRecordHeader());
            record_ = std::move(file);
        } catch (const platform::AppendFileError& e) {
            showErrorBox(dialog, qs(fleetRecordUnwritable(quoted(recordFile()), e.what())));
            return false;
        }
    }
    if (lastSent_) {
        const std::string label =
            lastRow_ >= 0 ? list_.pagers[static_cast<std::size_t>(lastRow_)].label : std::string();
        const std::string question = fleetRepeatQuestion(*lastSent_, label, sendingSettings(row));
        if (!question.empty()) {
            QMessageBox ask(QMessageBox::Question, kApplicationTitle, qs(question),
                            QMessageBox::Yes | QMessageBox::No, dialog);
            ask.setDefaultButton(QMessageBox::No);
            if (ask.exec() != QMessageBox::Yes)
                return false;
        }
    }
    sending_ = row;
    sendingSettings_ = sendingSettings(row);
    return true;
}

void FleetWindow::sendEnded(const TSendOutcome& outcome) {
    const int row = sending_;
    sending_ = -1;
    const bool whole = outcome.end == TSendOutcome::End::Sent && outcome.checkOk;
    // Only a whole send makes the same addresses ask: one broken off or that the check found
    // lacking goes out again without a question.
    if (whole && !listFile_.isEmpty())
        lastSent_ = sendingSettings_;
    else
        lastSent_.reset();
    if (row < 0 || !record_)
        return; // not a line of the list
    lastRow_ = row;
    const FleetPager& p = list_.pagers[static_cast<std::size_t>(row)];
    FleetRecordEntry entry;
    entry.time = isoLocalTime(std::chrono::system_clock::now());
    entry.label = p.label;
    entry.holder = p.holder;
    entry.settings = p.settings;
    entry.device = outcome.device.toStdString();
    entry.expert = outcome.expert;
    entry.result =
        outcome.end == TSendOutcome::End::Sent ? FleetResult::Sent : FleetResult::Aborted;
    entry.reason = outcome.reason.toStdString();
    entry.check = outcome.check.toStdString();
    const std::string line = fleetRecordLine(entry);
    QWidget* owner = FRM_Prog->isVisible() ? static_cast<QWidget*>(FRM_Prog) : this;
    try {
        record_->append(line);
    } catch (const platform::AppendFileError& e) {
        // The list stops here: no further line is chosen, and the next send probes the record
        // again before anything goes out.
        record_.reset();
        LBL_Status->setText(
            QStringLiteral("Angehalten: das Protokoll lässt sich nicht schreiben."));
        showErrorBox(owner, qs(fleetRecordLineLost(quoted(recordFile()), e.what(), line)));
        return;
    }
    last_[p.label] = {entry.time, entry.result, fleetResultText(entry.result, entry.reason),
                      entry.check};
    showResult(row);
    if (!whole)
        return; // the same line again, once the cause is found
    for (int next = row + 1; next < static_cast<int>(list_.pagers.size()); ++next) {
        if (list_.pagers[static_cast<std::size_t>(next)].ok()) {
            chooseLine(next);
            return;
        }
    }
    LBL_Status->setText(QStringLiteral("Die Liste ist durch: die letzte Zeile ist gesendet."));
}

bool FleetWindow::exportList(const QString& file) {
    try {
        platform::replaceFileContent(file.toStdString(), fleetListText(list_.pagers));
    } catch (const std::exception& e) {
        showErrorBox(this, QStringLiteral("Die Liste \"%1\" lässt sich nicht schreiben (%2).")
                               .arg(file, QString::fromUtf8(e.what())));
        return false;
    }
    return true;
}

bool FleetWindow::newList(const QString& file) {
    try {
        platform::replaceFileContent(file.toStdString(), newFleetListText(main_.settings()));
    } catch (const std::exception& e) {
        showErrorBox(this, QStringLiteral("Die Liste \"%1\" lässt sich nicht schreiben (%2).")
                               .arg(file, QString::fromUtf8(e.what())));
        return false;
    }
    return loadList(file);
}

QString FleetWindow::recordHtml(bool wholeList) const {
    auto e = [](const std::string& text) { return qs(text).toHtmlEscaped(); };
    QString html = QStringLiteral("<html><body style=\"font-family: sans-serif;\">");
    html += QStringLiteral("<h2>Programmierprotokoll</h2><p>Liste: %1<br>Protokoll: %2<br>"
                           "Gedruckt: %3</p>")
                .arg(listFile_.toHtmlEscaped(), recordFile().toHtmlEscaped(),
                     qs(isoLocalTime(std::chrono::system_clock::now())));
    html += QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>"
        "<th>Kennung</th><th>Träger</th><th>Einstellungen</th><th>Rufe</th><th>Zeit</th>"
        "<th>Ergebnis</th></tr>");
    for (int row = 0; row < static_cast<int>(list_.pagers.size()); ++row) {
        if (!wholeList && row != TBL_Liste->currentRow())
            continue;
        const FleetPager& p = list_.pagers[static_cast<std::size_t>(row)];
        QString time = QStringLiteral("–"), result = QStringLiteral("nicht gesendet");
        if (!p.ok()) {
            result = QStringLiteral("Nicht sendbar: ") + e(p.problem);
        } else if (const auto found = last_.find(p.label); found != last_.end()) {
            time = e(found->second.time);
            result = e(found->second.text);
            if (!found->second.check.empty())
                result += QStringLiteral("<br>Prüfung: ") + e(found->second.check);
        }
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                               "<td>%6</td></tr>")
                    .arg(e(p.label), e(p.holder), p.ok() ? e(settingsText(p.settings)) : QString(),
                         p.ok() ? e(fleetCallsText(p.settings)) : QString(), time, result);
    }
    html += QStringLiteral("</table></body></html>");
    return html;
}

void FleetWindow::printRecord(QPrinter& printer, bool wholeList) const {
    QTextDocument document;
    document.setHtml(recordHtml(wholeList));
    document.print(&printer);
}

bool FleetWindow::saveRecordPdf(const QString& file, bool wholeList) const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printRecord(printer, wholeList);
    if (QFileInfo(file).size() <= 0) {
        showErrorBox(const_cast<FleetWindow*>(this),
                     QStringLiteral("Die Datei \"%1\" lässt sich nicht schreiben.").arg(file));
        return false;
    }
    return true;
}

void FleetWindow::askOpen() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Liste importieren"), QFileInfo(listFile_).path(),
        QStringLiteral("Listen (*.csv *.txt);;Alle Dateien (*)"));
    if (!file.isEmpty())
        loadList(file);
}

void FleetWindow::askExport() {
    // Not the list itself by default: columns the list has beyond its own are not written.
    const QFileInfo list(listFile_);
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Liste exportieren"),
        list.dir().filePath(list.completeBaseName() + QStringLiteral("-Export.csv")),
        QStringLiteral("Listen (*.csv)"));
    if (!file.isEmpty())
        exportList(file);
}

void FleetWindow::askNew() {
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Neue Liste aus den Einstellungen"),
                                     QFileInfo(listFile_).path(), QStringLiteral("Listen (*.csv)"));
    if (!file.isEmpty())
        newList(file);
}

void FleetWindow::askPrint(bool wholeList) {
    if (list_.pagers.empty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(wholeList ? QStringLiteral("Protokoll der Liste drucken")
                                    : QStringLiteral("Protokoll des Pagers drucken"));
    if (dialog.exec() == QDialog::Accepted)
        printRecord(printer, wholeList);
}

void FleetWindow::askPdf(bool wholeList) {
    if (list_.pagers.empty())
        return;
    QString name = QFileInfo(recordFile()).completeBaseName() + QStringLiteral(".pdf");
    if (!wholeList && TBL_Liste->currentRow() >= 0)
        name = qs(list_.pagers[static_cast<std::size_t>(TBL_Liste->currentRow())].label)
                   .replace(u'/', u'-') +
               QStringLiteral("-Protokoll.pdf");
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Protokoll als PDF speichern"),
        QFileInfo(listFile_).dir().filePath(name), QStringLiteral("PDF (*.pdf)"));
    if (!file.isEmpty())
        saveRecordPdf(file, wholeList);
}
