#include "Printers.h"

#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "Dialogs.h"
#include "ReportForm.h"
#include "ReportRenderer.h"

namespace print {

namespace {

Printers* g_installed = nullptr;

// A printer that takes each job as a job of its own.
class DeviceSession : public PrinterSession {
public:
    explicit DeviceSession(std::unique_ptr<QPrinter> printer) : m_printer(std::move(printer)) {}

    QString printerName() const override { return printerDescription(*m_printer); }

    void print(const ReportForm& form, int first, int last) override {
        // A form that cannot be printed fails here, before the printer is given an empty job.
        paginate(form);
        m_printer->setDocName(form.name());
        PrintJob job(*m_printer);
        job.add(form, first, last);
        job.finish();
        requireNoPrinterError(*m_printer);
    }

    void finish() override {}

private:
    std::unique_ptr<QPrinter> m_printer;
};

// A PDF file: the jobs of one print follow one another in the file, which is written at the
// end (a file holds one document, so a job of its own would overwrite the one before).
class FileSession : public PrinterSession {
public:
    explicit FileSession(std::unique_ptr<QPrinter> printer) : m_printer(std::move(printer)) {}

    QString printerName() const override { return printerDescription(*m_printer); }

    void print(const ReportForm& form, int first, int last) override {
        paginate(form);
        if (!m_job) {
            m_job = std::make_unique<PrintJob>(*m_printer);
        }
        m_job->add(form, first, last);
    }

    void finish() override {
        if (m_job) {
            m_job->finish();
            requireNoPrinterError(*m_printer);
        }
    }

private:
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<PrintJob> m_job;
};

}  // namespace

QString printerDescription(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        return QStringLiteral("PDF 文件 %1")
            .arg(QDir::toNativeSeparators(printer.outputFileName()));
    }
    return printer.printerName().isEmpty() ? QStringLiteral("（没有可用的打印机）")
                                           : printer.printerName();
}

void requireNoPrinterError(const QPrinter& printer) {
    if (printer.printerState() == QPrinter::Error) {
        throw PrintError(QStringLiteral("打印机报告了错误，作业没有完成。"));
    }
}

Printers& Printers::instance() {
    static QtPrinters qtPrinters;
    return g_installed != nullptr ? *g_installed : qtPrinters;
}

void Printers::install(Printers* printers) {
    g_installed = printers;
}

QtPrinters::QtPrinters() = default;
QtPrinters::~QtPrinters() = default;

std::unique_ptr<PrinterSession> QtPrinters::begin(QWidget* parent) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (QPrinterInfo::defaultPrinter().isNull()) {
        // Direct print sends whole pages of its own choosing: the dialog offers no page range.
        QPrintDialog dialog(printer.get(), parent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        if (widgets::Dialogs::instance().exec(dialog) != QDialog::Accepted) {
            return nullptr;
        }
    }
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
        return std::make_unique<FileSession>(std::move(printer));
    }
    return std::make_unique<DeviceSession>(std::move(printer));
}

QPrinter& QtPrinters::previewPrinter() {
    if (!m_preview) {
        m_preview = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *m_preview;
}

}  // namespace print
