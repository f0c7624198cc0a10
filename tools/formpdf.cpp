// formpdf: writes the registration form of one record as a PDF, for checking the printed pages
// without a printer.
//
//   formpdf DATA_DIR ITEM_4 OUT.pdf [--direct]
//
// The record with that key in the data directory becomes current and its child tables are
// filtered to it; then every page of its family is prepared and written in order into one PDF:
// by default all pages with their own page labels (custom print), with --direct the whole-form
// sequence of direct print with the main text renumbered.

#include <QGuiApplication>
#include <QPdfWriter>
#include <filesystem>
#include <iostream>

#include "Dataset.h"
#include "PrintState.h"
#include "RecordSession.h"
#include "ReportRenderer.h"

namespace {

namespace fs = std::filesystem;

int usage() {
    std::cerr << "usage: formpdf DATA_DIR ITEM_4 OUT.pdf [--direct]\n";
    return 2;
}

void addPages(print::PrintJob& job, print::PrintState& state, const QString& formName,
              print::Numbering numbering, bool pageByPage) {
    print::ReportForm& form = state.prepare(formName, numbering);
    for (const print::OmittedRows& omitted : state.omittedRows()) {
        std::cerr << formName.toStdString() << ": " << omitted.text().toStdString() << "\n";
    }
    for (const print::PageRange& pages : print::directPrintJobs(form, pageByPage)) {
        job.add(form, pages.first, pages.last);
    }
}

int run(const fs::path& dataDir, const QString& key, const QString& output, bool direct) {
    tools::RecordSession session("formpdf", dataDir, key.toStdString());
    TDM& dm = session.dm();
    const print::Family family =
        print::familyOf(QString::fromStdString(dm.Qryhvel.field("ITEM_CGLB").asText()));

    print::PrintState state(dm);
    QPdfWriter writer(output);
    writer.setCreator(QStringLiteral("Velmora formpdf"));
    writer.setTitle(QString::fromStdString(dm.Qryhvel.field("ITEM_3").asText()));
    print::PrintJob job(writer);
    if (direct) {
        for (const print::DirectPrintStep& step : print::wholeFormSequence(family)) {
            addPages(job, state, step.form, print::Numbering::MainText, step.pageByPage);
        }
    } else {
        for (const print::ReportFormInfo* info : print::familyForms(family)) {
            addPages(job, state, info->name, print::Numbering::Form, false);
        }
    }
    job.finish();
    for (const print::RenderNote& note : job.notes()) {
        std::cerr << note.form.toStdString() << " page " << note.page << ": "
                  << (note.clipped ? "cut: " : "printed smaller: ") << note.text.toStdString()
                  << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool direct = args.size() == 4 && args[3] == QStringLiteral("--direct");
    if (args.size() != 3 && !direct) {
        return usage();
    }
    try {
        return run(fs::path(args[0].toStdString()), args[1], args[2], direct);
    } catch (const std::exception& e) {
        std::cerr << "formpdf: " << e.what() << "\n";
        return 1;
    }
}
