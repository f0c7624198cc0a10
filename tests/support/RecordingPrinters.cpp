#include "RecordingPrinters.h"

#include <QPdfWriter>
#include <stdexcept>

#include "ReportForm.h"
#include "ReportRenderer.h"

namespace testsupport {

namespace {

class RecordingSession : public print::PrinterSession {
public:
    explicit RecordingSession(RecordingPrinters& printers) : m_printers(printers) {}

    QString printerName() const override { return RecordingPrinters::name(); }

    void print(const print::ReportForm& form, int first, int last) override {
        const int index = static_cast<int>(m_printers.jobs.size());
        if (m_printers.refuseFrom >= 0 && index >= m_printers.refuseFrom) {
            // What a system without the printer does: a printer with neither a device nor
            // an output file, whose painting does not start.
            QPrinter absent;
            absent.setOutputFormat(QPrinter::PdfFormat);
            absent.setOutputFileName(QString());
            print::PrintJob job(absent);
            throw std::logic_error("a printer without device or file started printing");
        }
        PrintedJob printed{form.name(), {}, first, last, {}};
        const int end = last > 0 ? last : print::pageCount(form);
        for (int page = first; page <= end; ++page) {
            printed.labels << form.pageLabel(page);
        }
        printed.pdf =
            QString::fromStdString((m_printers.folder() / ("job" + std::to_string(index) + "_" +
                                                           form.name().toStdString() + ".pdf"))
                                       .string());
        {
            QPdfWriter writer(printed.pdf);
            print::PrintJob job(writer);
            job.add(form, first, last);
        }
        m_printers.jobs.push_back(printed);
    }

    void finish() override {}

private:
    RecordingPrinters& m_printers;
};

}  // namespace

RecordingPrinters::RecordingPrinters(std::filesystem::path folder)
    : m_folder(std::move(folder)), m_preview(QPrinter::HighResolution) {
    std::filesystem::create_directories(m_folder);
    m_preview.setOutputFormat(QPrinter::PdfFormat);
    m_preview.setOutputFileName(QString::fromStdString((m_folder / "preview.pdf").string()));
    install(this);
}

RecordingPrinters::~RecordingPrinters() {
    install(nullptr);
}

std::unique_ptr<print::PrinterSession> RecordingPrinters::begin(QWidget*) {
    if (cancel) {
        return nullptr;
    }
    ++sessions;
    return std::make_unique<RecordingSession>(*this);
}

QPrinter& RecordingPrinters::previewPrinter() {
    return m_preview;
}

}  // namespace testsupport
