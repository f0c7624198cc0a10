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
#include "PrintNotice.h"
#include "PrintState.h"
#include "RecordSession.h"
#include "ReportRenderer.h"

namespace {

namespace fs = std::filesystem;

int usage() {
    std::cerr << "usage: formpdf DATA_DIR ITEM_4 OUT.pdf [--direct]\n";
    return 2;
}

// The form prepared and added whole (the pages of a list printed one by one are the same
// pages in one file); what it could not show goes into notice.
void addPages(print::PrintJob& job, print::PrintState& state, const QString& formName,
              print::Numbering numbering, print::PrintNotice& notice) {
    print::ReportForm& form = state.prepare(formName, numbering);
    notice.addOmitted(state.omittedRows());
    const size_t before = job.notes().size();
    job.add(form);
    notice.addCuts(form,
                   std::vector<print::RenderNote>(job.notes().begin() + before, job.notes().end()));
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
    print::PrintNotice notice;
    if (direct) {
        for (const print::DirectPrintStep& step : print::wholeFormSequence(family)) {
            addPages(job, state, step.form, print::Numbering::MainText, notice);
        }
    } else {
        for (const print::ReportFormInfo* info : print::familyForms(family)) {
            addPages(job, state, info->name, print::Numbering::Form, notice);
        }
    }
    job.finish();
    for (const print::RenderNote& note : job.notes()) {
        if (!note.clipped) {
            std::cerr << note.form.toStdString() << " page " << note.page
                      << ": printed smaller: " << note.text.toStdString() << "\n";
        }
    }
    if (!notice.empty()) {
        std::cerr << notice.text().toStdString() << "\n";
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
