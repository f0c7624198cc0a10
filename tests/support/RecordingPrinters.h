#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <vector>

#include "Printers.h"

namespace testsupport {

// One print job as the stand-in printer received it.
struct PrintedJob {
    QString form;
    // The page label of every page of the job, as printed ("6--1"; "" on a cover).
    QStringList labels;
    int first = 1;
    int last = 0;
    // The job as a PDF file.
    QString pdf;
};

// The printers of a test: every job of a direct print is recorded and written as a PDF file
// of its own into folder; the previews print into folder/preview.pdf. Installed for its life.
class RecordingPrinters : public print::Printers {
public:
    explicit RecordingPrinters(std::filesystem::path folder);
    ~RecordingPrinters() override;
    RecordingPrinters(const RecordingPrinters&) = delete;
    RecordingPrinters& operator=(const RecordingPrinters&) = delete;

    std::unique_ptr<print::PrinterSession> begin(QWidget* parent) override;
    QPrinter& previewPrinter() override;

    static QString name() { return QStringLiteral("测试打印机"); }

    std::vector<PrintedJob> jobs;
    // Direct prints begun.
    int sessions = 0;
    // The job (counted from 0 over the stand-in's life) from which on the printer does not
    // start: a printer that is not there. -1: it takes every job.
    int refuseFrom = -1;
    // The user cancels choosing a printer.
    bool cancel = false;

    const std::filesystem::path& folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    QPrinter m_preview;
};

}  // namespace testsupport
