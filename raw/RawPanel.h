// The raw panel of the main window as the raw scan sees it: the file-type
// list, the two range fields and buttons, the "Start &Recovery" button, the
// "Files Recovered" list, the raw progress bar and the raw status line. The
// desktop window implements it on its widgets, the command-line program on
// the terminal, and tests record the calls. The scan worker calls these from
// its own thread; implementations must not block on the window thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/job/Worker.h"

namespace raw {

// Rows of the file-type list (also the type codes and the typeCounts index).
enum KindCode : int { kWord = 0, kExcel = 1, kPowerPoint = 2, kZip = 3 };
constexpr int kKindCount = 4;

class RawPanel {
public:
    virtual ~RawPanel() = default;

    // File-type list: number of rows (0 when the list is empty) and the
    // check state of a row.
    virtual int FileTypeRowCount() { return 0; }
    virtual bool FileTypeChecked(int row) { (void)row; return false; }
    virtual void EnableFileTypeList(bool on) { (void)on; }

    // "Start Sector" and "End Sector" fields, and the "Entire Disk" and
    // "Sector Range" buttons.
    virtual std::string StartSectorText() { return {}; }
    virtual std::string EndSectorText() { return {}; }
    virtual void SetEndSectorText(const std::string& text) { (void)text; }
    virtual void EnableRangeFields(bool on) { (void)on; }
    virtual void EnableRangeButtons(bool on) { (void)on; }

    // The "Start &Recovery" button, whose text tells idle from running.
    virtual std::string StartButtonText() = 0;
    virtual void SetStartButtonText(const std::string& text) = 0;
    virtual void EnableStartButton(bool on) { (void)on; }

    // The "File Saving" dialog: sets job::Wizard().destinationPath ("&OK") or
    // empties it ("&Cancel").
    virtual void ShowFileSavingDialog() = 0;

    // Raw status line, progress bar and its caption.
    virtual void SetRawStatus(const std::string& text) { (void)text; }
    virtual void ShowRawProgress(bool visible) { (void)visible; }
    virtual void SetRawProgress(int percent, const std::string& caption) { (void)percent; (void)caption; }

    // "Files Recovered" list.
    virtual void ClearFilesRecovered() {}
    virtual void AddFilesRecoveredRow(const std::string& text) { (void)text; }
    virtual void SetFilesRecoveredRow(int row, const std::string& text) { (void)row; (void)text; }

    // A document file was created and written (also when the write was cut
    // short by a stop or failed part-way).
    virtual void DocumentWritten(const std::string& path, int kind) { (void)path; (void)kind; }

    // Waits until the scan worker has ended after a stop. The desktop window
    // keeps its event loop running meanwhile, so that a prompt the worker
    // shows can still be answered.
    virtual void WaitForScanWorker(const std::atomic<std::uint64_t>& handle) { job::WaitForWorker(handle); }
};

// The panel in use (none until the front end installs one).
void InstallRawPanel(RawPanel* panel);
RawPanel* Panel();

}  // namespace raw
