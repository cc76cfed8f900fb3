// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fleet list's window: a list of pagers read from a CSV file, each with its last result
// from the record beside the list. Choosing a line puts its settings into the main window;
// "Programmieren" and "OK und los !" work as always, and each send of a line is appended to the
// record before the next line is chosen. Rules and texts are core's (FleetList, FleetRecord).
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgTones.h"

#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPrinter;
class QTableWidget;
class TFRM_Main;
struct TSendOutcome;
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

    const FleetList& list() const { return list_; }
    const QString& listFile() const { return listFile_; }
    QString recordFile() const;
    int chosenRow() const { return chosen_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void showList();
    void showResult(int row);
    // The row whose pager these tones program: the chosen line first, then the last sent.
    int rowFor(const TProgTones& tones) const;
    ProgSettings sendingSettings(int row) const;
    // Asked by the dialog before it sends; false sends nothing.
    bool beforeSend();
    void sendEnded(const TSendOutcome& outcome);
    QString recordHtml(bool wholeList) const;
    void askPrint(bool wholeList);
    void askPdf(bool wholeList);
    void askOpen();
    void askExport();
    void askNew();

    TFRM_Main& main_;
    FleetList list_;
    QString listFile_;
    std::vector<std::optional<TProgTones>> tones_; // each line's tones; none for a bad line
    std::map<std::string, FleetLastResult> last_;  // each label's last result in the record
    std::unique_ptr<platform::AppendFile> record_; // open from the first send on
    int chosen_ = -1;
    int sending_ = -1; // the row of the send under way, or -1 for a send not of the list
    // The send before, when it went out whole: its settings and line.
    std::optional<ProgSettings> lastSent_;
    ProgSettings sendingSettings_; // of the send under way
    int lastRow_ = -1;
};
