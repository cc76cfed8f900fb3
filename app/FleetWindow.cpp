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
#include <QHideEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
// Where the list last used, the window's size and the technician are remembered.
const QString kListKey = QStringLiteral("fleet/list");
const QString kGeometryKey = QStringLiteral("fleet/geometry");
const QString kTechnicianKey = QStringLiteral("fleet/technician");
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

ProgSession& session() {
    return progDialog()->Session;
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
    connect(progDialog(), &TFRM_Prog::sessionChanged, this, [this] { followSession(); });
}

FleetWindow::~FleetWindow() {
    // The session's record writer is this window's.
    if (FRM_Prog != nullptr)
        FRM_Prog->Session.closeList();
}

const FleetList& FleetWindow::list() const {
    return session().list();
}

int FleetWindow::chosenRow() const {
    return session().chosen();
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
    // Each column as wide as its content, the last result too: the table scrolls sideways.
    TBL_Liste->horizontalHeader()->setStretchLastSection(false);
    TBL_Liste->installEventFilter(this);
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
    add(list, QStringLiteral("Ü&berspringen"), QKeySequence(Qt::CTRL | Qt::Key_U),
        [this] { skipLine(); });
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
        // As it was left; the first time below the main window, so that both can be seen.
        if (!restoreGeometry(userSettings().value(kGeometryKey).toByteArray())) {
            const QRect mainFrame = main_.frameGeometry();
            move(mainFrame.left(), mainFrame.bottom() + 8);
        }
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

void FleetWindow::hideEvent(QHideEvent* event) {
    userSettings().setValue(kGeometryKey, saveGeometry());
    QWidget::hideEvent(event);
}

bool FleetWindow::eventFilter(QObject* watched, QEvent* event) {
    // Home and End go to the first and the last line, not to the ends of a line.
    if (watched == TBL_Liste && event->type() == QEvent::KeyPress && TBL_Liste->rowCount() > 0) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Home || key->key() == Qt::Key_End) &&
            key->modifiers() == Qt::NoModifier) {
            TBL_Liste->setCurrentCell(key->key() == Qt::Key_Home ? 0 : TBL_Liste->rowCount() - 1,
                                      std::max(TBL_Liste->currentColumn(), 0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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
    listFile_ = QFileInfo(file).absoluteFilePath();
    record_.reset(); // the next send opens the record beside this list
    std::string record;
    try {
        record = platform::readRecordBytes(recordFile().toStdString(), kFleetRecordMaxBytes);
    } catch (const platform::AppendFileError& e) {
        read.notes.push_back(fleetRecordUnreadable(quoted(recordFile()), e.what()));
    }
    session().openList(std::move(read), record, quoted(recordFile()),
                       [this](std::string_view bytes) { return appendRecord(bytes); });
    shownChosen_ = -1;
    userSettings().setValue(kListKey, listFile_);
    setWindowTitle(QStringLiteral("Liste – ") + QFileInfo(file).fileName());
    showList();
    const std::vector<std::string> problems = list().problems();
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
    const FleetList& shown = list();
    TBL_Liste->setRowCount(static_cast<int>(shown.pagers.size()));
    for (int row = 0; row < TBL_Liste->rowCount(); ++row) {
        const FleetPager& p = shown.pagers[static_cast<std::size_t>(row)];
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
            .arg(shown.pagers.size())
            .arg(qs(textEncodingName(shown.encoding)))
            .arg(QChar(shown.separator))
            .arg(QFileInfo(recordFile()).fileName());
    for (const std::string& note : shown.notes)
        status += u'\n' + qs(note);
    LBL_Status->setText(status);
    // Shown, not yet chosen: the main window keeps its settings. After a restart the work goes
    // on at the first line not yet sent.
    const int next = session().nextUnsentLine();
    if (!shown.pagers.empty())
        TBL_Liste->setCurrentCell(std::max(next, 0), kFirstListColumn);
}

void FleetWindow::showResult(int row) {
    const FleetPager& p = list().pagers[static_cast<std::size_t>(row)];
    const auto& last = session().lastResults();
    auto* item = new QTableWidgetItem;
    if (!p.ok()) {
        item->setText(QStringLiteral("Nicht sendbar: ") + qs(p.problem));
        item->setForeground(kMaroon);
    } else if (const auto found = last.find(p.label); found != last.end()) {
        item->setText(resultText(found->second));
        if (found->second.result != FleetResult::Sent || fleetCheckFailed(found->second.check))
            item->setForeground(kMaroon);
    }
    TBL_Liste->setItem(row, kResultColumn, item);
}

void FleetWindow::chooseLine(int row) {
    if (row < 0 || row >= static_cast<int>(list().pagers.size()))
        return;
    TBL_Liste->setCurrentCell(row, std::max(TBL_Liste->currentColumn(), 0));
    const std::string problem = session().choose(row);
    if (!problem.empty()) {
        showErrorBox(this, qs(problem));
        return;
    }
    shownChosen_ = row;
    main_.showSettings(session().settings());
    // While the programming dialog is up (the next line after a send), it keeps the focus.
    if (FRM_Prog == nullptr || !FRM_Prog->isVisible()) {
        main_.raise();
        main_.activateWindow();
    }
}

void FleetWindow::skipLine() {
    if (session().chosen() < 0 || session().sending())
        return;
    TFRM_Prog* dialog = progDialog();
    const std::string lost =
        session().skip(dialog->outputName().toStdString(), dialog->expertValues(),
                       isoLocalTime(std::chrono::system_clock::now()));
    if (!lost.empty())
        showErrorBox(this, qs(lost));
    followSession();
}

std::string FleetWindow::appendRecord(std::string_view bytes) {
    try {
        if (!record_)
            record_ = std::make_unique<platform::AppendFile>(recordFile().toStdString());
        record_->append(std::string(bytes));
        return {};
    } catch (const platform::AppendFileError& e) {
        // The next send opens the record again before anything goes out.
        record_.reset();
        return e.what();
    }
}

void FleetWindow::followSession() {
    if (listFile_.isEmpty())
        return;
    for (int row = 0; row < TBL_Liste->rowCount(); ++row)
        showResult(row);
    TBL_Liste->resizeColumnToContents(kResultColumn);
    const ProgSession& s = session();
    if (s.listDone()) {
        LBL_Status->setText(QStringLiteral("Die Liste ist durch: die letzte Zeile ist gesendet."));
    } else if (s.recordLost()) {
        LBL_Status->setText(
            QStringLiteral("Angehalten: das Protokoll lässt sich nicht schreiben."));
    }
    // The session chose the next line: the main window shows its settings, as the dialog
    // already shows its tones.
    if (s.chosen() >= 0 && s.chosen() != shownChosen_) {
        shownChosen_ = s.chosen();
        TBL_Liste->setCurrentCell(shownChosen_, std::max(TBL_Liste->currentColumn(), 0));
        main_.showSettings(s.settings());
    }
    shownChosen_ = s.chosen();
}

bool FleetWindow::exportList(const QString& file) {
    try {
        platform::replaceFileContent(file.toStdString(), fleetListText(list().pagers));
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
    const std::string today = fleetGermanTime(isoLocalTime(std::chrono::system_clock::now()));
    QString html = QStringLiteral("<html><body style=\"font-family: sans-serif;\">");
    html += QStringLiteral("<h2>Programmierprotokoll</h2><p>Liste: %1<br>Protokoll: %2<br>"
                           "Datum: %3<br>Techniker: %4</p>")
                .arg(listFile_.toHtmlEscaped(), recordFile().toHtmlEscaped(),
                     e(today.substr(0, 10)), technician_.toHtmlEscaped());
    // Every send of each pager, as the record holds them, not only the last.
    std::map<std::string, std::vector<FleetRecordRow>> sends;
    std::string record;
    try {
        record = platform::readRecordBytes(recordFile().toStdString(), kFleetRecordMaxBytes);
    } catch (const platform::AppendFileError&) {
        // the list's status line has said why
    }
    for (FleetRecordRow& row : fleetRecordRows(record))
        sends[row.label].push_back(std::move(row));
    for (int row = 0; row < static_cast<int>(list().pagers.size()); ++row) {
        if (!wholeList && row != TBL_Liste->currentRow())
            continue;
        const FleetPager& p = list().pagers[static_cast<std::size_t>(row)];
        html += QStringLiteral("<h3>%1 %2</h3><p>").arg(e(p.label), e(p.holder));
        if (!p.ok())
            html += QStringLiteral("Nicht sendbar: ") + e(p.problem);
        else
            html += e(settingsText(p.settings)) + QStringLiteral("<br>") +
                    e(fleetCallsText(p.settings));
        if (!p.note.empty())
            html += QStringLiteral("<br>Bemerkung: ") + e(p.note);
        html += QStringLiteral("</p>");
        const auto found = sends.find(p.label);
        if (found == sends.end()) {
            html += QStringLiteral("<p>Nicht gesendet.</p>");
            continue;
        }
        html += QStringLiteral(
            "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>"
            "<th>Zeit</th><th>Ergebnis</th><th>Prüfung</th><th>Ausgabegerät</th>"
            "<th>Tonlänge / Tonpause / Blockpause</th><th>Amplitude</th></tr>");
        for (const FleetRecordRow& send : found->second)
            html += QStringLiteral("<tr><td style=\"white-space: nowrap;\">%1</td><td>%2</td>"
                                   "<td>%3</td><td>%4</td><td>%5 / %6 / %7 ms</td>"
                                   "<td>%8 %</td></tr>")
                        .arg(e(fleetGermanTime(send.time)),
                             e(send.kind == FleetResult::Started ? kFleetUnfinished : send.result),
                             e(send.check), e(send.device), e(send.expert[0]), e(send.expert[1]),
                             e(send.expert[2]), e(send.expert[3]));
        html += QStringLiteral("</table>");
    }
    html += QStringLiteral("<p><br><br>Unterschrift: ______________________________</p>");
    html += QStringLiteral("</body></html>");
    return html;
}

// The technician who signs the record: asked once, then remembered.
bool FleetWindow::askTechnician() {
    QString name = userSettings().value(kTechnicianKey).toString();
    if (name.isEmpty()) {
        bool given = false;
        name = QInputDialog::getText(this, QStringLiteral("Programmierprotokoll"),
                                     QStringLiteral("Techniker:"), QLineEdit::Normal, QString(),
                                     &given)
                   .trimmed();
        if (!given)
            return false;
        if (!name.isEmpty())
            userSettings().setValue(kTechnicianKey, name);
    }
    technician_ = name;
    return true;
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
    if (list().pagers.empty() || !askTechnician())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(wholeList ? QStringLiteral("Protokoll der Liste drucken")
                                    : QStringLiteral("Protokoll des Pagers drucken"));
    if (dialog.exec() == QDialog::Accepted)
        printRecord(printer, wholeList);
}

void FleetWindow::askPdf(bool wholeList) {
    if (list().pagers.empty() || !askTechnician())
        return;
    QString name = QFileInfo(recordFile()).completeBaseName() + QStringLiteral(".pdf");
    if (!wholeList && TBL_Liste->currentRow() >= 0)
        name = qs(list().pagers[static_cast<std::size_t>(TBL_Liste->currentRow())].label)
                   .replace(u'/', u'-') +
               QStringLiteral("-Protokoll.pdf");
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Protokoll als PDF speichern"),
        QFileInfo(listFile_).dir().filePath(name), QStringLiteral("PDF (*.pdf)"));
    if (!file.isEmpty())
        saveRecordPdf(file, wholeList);
}
