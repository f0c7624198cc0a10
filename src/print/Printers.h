#pragma once

#include <QString>
#include <memory>

class QPrinter;
class QWidget;

namespace print {

class ReportForm;

// The printer of one direct print: the print jobs it sends all go to the printer chosen when
// it began.
class PrinterSession {
public:
    virtual ~PrinterSession() = default;

    // The printer as the user knows it: its name, or the file it writes.
    virtual QString printerName() const = 0;
    // Sends pages first..last (last 0: to the report's last page) of the prepared form as one
    // print job. Throws PrintError when the printer does not take the job.
    virtual void print(const ReportForm& form, int first, int last) = 0;
    // Ends the print: a file that collects the jobs is written here. Throws PrintError.
    virtual void finish() = 0;
};

// Every printer of the program goes through this seam. The program prints on the system's
// printers; tests install a stand-in that records every job and writes it as a PDF file.
class Printers {
public:
    virtual ~Printers() = default;

    // The printer of a direct print: the default printer, or, when there is none, the one the
    // user chooses in the print dialog. Null when the user cancels the choice.
    virtual std::unique_ptr<PrinterSession> begin(QWidget* parent) = 0;
    // The printer that the previews of custom print show their pages on and print to.
    virtual QPrinter& previewPrinter() = 0;

    static Printers& instance();
    // Installs printers (not owned) in place of the system's; nullptr restores them.
    static void install(Printers* printers);
};

// The printer as messages name it: its name, or the PDF file it writes.
QString printerDescription(const QPrinter& printer);
// Throws PrintError when the printer reports that the job it was given failed.
void requireNoPrinterError(const QPrinter& printer);

// The system's printers through Qt.
class QtPrinters : public Printers {
public:
    QtPrinters();
    ~QtPrinters() override;

    std::unique_ptr<PrinterSession> begin(QWidget* parent) override;
    QPrinter& previewPrinter() override;

private:
    // Kept for the run, so that a preview starts with the printer and page set-up chosen last.
    std::unique_ptr<QPrinter> m_preview;
};

}  // namespace print
