// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fleet list's window: a list of pagers read from a CSV file, each with its last result
// from the record beside the list. It shows the programming session's list (core's ProgSession,
// held by the programming dialog): choosing a line puts its settings into the main window;
// "Programmieren" and "OK und los !" work as always, the session writes each send's lines to
// the record and chooses the next line, and this window follows it. Rules and texts are core's.
#include "FleetList.h"
#include "FleetRecord.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>

class ProgSession;
class QLabel;
class QPrinter;
class QTableWidget;
class TFRM_Main;
namespace platform {
class AppendFile;
}

class FleetWindow : public QWidget {
    Q_OBJECT
public:
    explicit FleetWindow(TFRM_Main& main);
    ~FleetWindow() override;

    QTableWidget* TBL_Liste;
    QLabel* LBL_Status;

    // Shows the window over the main window, with the list last used when none is loaded yet.
    void open();

    // Reads a list file; a file that is no list is refused with core's message and the list
    // shown stays. Lines with a problem are shown, named in one message, and never sent.
    bool loadList(const QString& file);
    // Writes the list as core writes lists (a line with a problem as it was read).
    bool exportList(const QString& file);
    // Writes a new list of one line from the main window's settings and loads it.
    bool newList(const QString& file);
    // Puts the settings of a line (a row of the table) into the main window.
    void chooseLine(int row);

    // The programming record of the chosen line, or of the whole list, printed.
    void printRecord(QPrinter& printer, bool wholeList) const;
    // The same as a PDF file.
    bool saveRecordPdf(const QString& file, bool wholeList) const;

    const FleetList& list() const;
    const QString& listFile() const { return listFile_; }
    QString recordFile() const;
    int chosenRow() const;

    // "Überspringen": the chosen line recorded as skipped, the next one chosen.
    void skipLine();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void showList();
    void showResult(int row);
    // The session moved (a send began or ended): the results, the chosen line, the status.
    void followSession();
    // Appends to the record beside the list, opened at the first line; why not, or empty.
    std::string appendRecord(std::string_view bytes);
    QString recordHtml(bool wholeList) const;
    bool askTechnician();
    void askPrint(bool wholeList);
    void askPdf(bool wholeList);
    void askOpen();
    void askExport();
    void askNew();

    TFRM_Main& main_;
    QString listFile_;
    std::unique_ptr<platform::AppendFile> record_; // open from the first line on
    int shownChosen_ = -1;                         // the session's line the main window shows
    QString technician_;                           // who signs the printed record
};
