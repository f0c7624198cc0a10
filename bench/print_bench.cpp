// Printing the registration form beside plain PDF text, in the same run.
//
//   whole form   prepare and render the whole form of direct print (the lists page by page)
//                of an applied-technology record with 40 persons and 20 committee members into
//                one PDF, beside writing a PDF of the same page count that holds the same
//                texts, page by page, as plain lines in the form's base font;
//   single page  create the report form, prepare it and paint its first page as a picture at
//                screen resolution (what the preview shows), for every page of the family that
//                has a layout.
// The ratio (whole form / baseline) and the slowest single page are printed after the runs;
// so is the first page of the run, which pays for opening the fonts.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PrintState.h"
#include "ReportRenderer.h"
#include "TableText.h"
#include "TimesReporter.h"
#include "UnitDM.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPersons = 40;
constexpr int kCommittee = 20;
const char* const kKey = "2004000001";

using Row = std::map<std::string, std::string>;

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

// An applied-technology record with the items of every page filled in.
Row mainRecord() {
    return {
        {"ITEM_4", kKey},
        {"ITEM_DQDM", "."},
        {"ITEM_CGLB", "1"},
        {"ITEM_3", "高效节能型稀土永磁电机的研制与产业化应用"},
        {"ITEM_9", "华东电机研究所"},
        {"ITEM_128", "某省科学技术厅"},
        {"ITEM_120", "2004-AB-0137"},
        {"ITEM_8", "2001.03   至2004.12"},
        {"ITEM_121", "2005-06-08"},
        {"ITEM_14", "稀土永磁;节能电机;变频调速"},
        {"ITEM_123", "3"},
        {"ITEM_125_1", "1"},
        {"ITEM_16", "3"},
        {"ITEM_2", "2"},
        {"ITEM_33", "2"},
        {"ITEM_201", "2"},
        {"ITEM_15", "4705030"},
        {"ITEM_12", "TM351"},
        {"ITEM_124_1", "04;07;"},
        {"ITEM_125", "03;"},
        {"ITEM_140", "2"},
        {"ITEM_126", "05;"},
        {"ITEM_127_1", "稀土永磁电机关键技术研究"},
        {"ITEM_127", "2001BA204B03"},
        {"ITEM_149", "1280.5"},
        {"ITEM_141", "300"},
        {"ITEM_148", "120"},
        {"ITEM_142", "210"},
        {"ITEM_144", "480.5"},
        {"ITEM_21", "1"},
        {"ITEM_130", "某省科学技术厅"},
        {"ITEM_34", "2004.12.20"},
        {"ITEM_22", "鉴字[2004]第118号"},
        {"ITEM_51", "1"},
        {"ITEM_32", "1"},
        {"ITEM_161", "1;4;"},
        {"ITEM_46", "03"},
        {"ITEM_47", "02"},
        {"ITEM_420", "12345678-9"},
        {"ITEM_37", "某市科技路88号"},
        {"ITEM_38", "200000"},
        {"ITEM_39", "021-12345678"},
        {"ITEM_41", "王五"},
        {"ITEM_41_2", "021-12345679"},
        {"ITEM_62", "1"},
        {"ITEM_64", "31"},
        {"ITEM_13_1",
         repeated("本成果研制了高效节能型稀土永磁电机，效率比同类产品提高三个百分点。", 12)},
    };
}

std::vector<Row> children(int n, const std::vector<std::pair<std::string, std::string>>& fields,
                          const char* sequence) {
    std::vector<Row> rows;
    for (int i = 1; i <= n; ++i) {
        Row row{{"ITEM_4", kKey}, {"ITEM_DQDM", "."}, {sequence, std::to_string(i)}};
        for (const auto& [field, value] : fields) {
            row[field] = value + (field == "ITEM_180" || field == "ITEM_192" ? std::to_string(i)
                                                                             : std::string());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

fs::path dataFile(const fs::path& data, const std::string& lowerName) {
    for (const auto& entry : fs::directory_iterator(data)) {
        std::string name = entry.path().filename().string();
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (name == lowerName) {
            return entry.path();
        }
    }
    throw std::runtime_error("no table " + lowerName);
}

void append(const fs::path& data, const std::string& table, const std::vector<Row>& rows) {
    store::appendRows(dataFile(data, table).string(), rows);
}

// A program folder holding the delivered tables and the record, the data module over it with
// the record current, as the main window leaves it before printing.
struct Program {
    fs::path path;
    std::unique_ptr<TDM> dm;

    Program() {
        path = fs::temp_directory_path() / ("velmora_print_bench_" + std::to_string(getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
        fs::copy(VELMORA_DATA_DIR, path / "data", fs::copy_options::recursive);
        const fs::path data = path / "data";
        append(data, "hvel.dbf", {mainRecord()});
        append(data, "cgwcr.dbf",
               children(kPersons,
                        {{"ITEM_180", "张"},
                         {"ITEM_181", "1"},
                         {"ITEM_182", "1965.04"},
                         {"ITEM_183", "1"},
                         {"ITEM_184", "2"},
                         {"ITEM_185", "华东电机研究所"},
                         {"ITEM_186", "电磁方案设计与样机试验"},
                         {"ITEM_188", "0"}},
                        "ITEM_187"));
        append(data, "jdwyhmd.dbf",
               children(kCommittee,
                        {{"ITEM_191", "委员"},
                         {"ITEM_192", "李"},
                         {"ITEM_193", "1"},
                         {"ITEM_195", "某大学电气工程学院"},
                         {"ITEM_196", "电机"},
                         {"ITEM_197", "电机设计"},
                         {"ITEM_198", "1"}},
                        "ITEM_190"));
        append(data, "cgwcdw.dbf",
               children(3, {{"ITEM_170", "协作单位"}, {"ITEM_171", "某市某路1号"}}, "ITEM_176"));
        append(data, "zlqk.dbf",
               children(2, {{"PATENT_NO", "ZL20041001234.5"}, {"PATENT_NAM", "永磁电机转子"}},
                        "ITEM_NO"));
        dm = std::make_unique<TDM>(path);
        for (const std::string& message : dm->DataModuleCreate()) {
            std::cerr << message << "\n";
        }
        if (!dm->Qryhvel.locate("ITEM_4", store::Value(std::string(kKey)))) {
            throw std::runtime_error("the record is missing");
        }
        dm->FilterChildTables(kKey, ".");
    }
    ~Program() {
        dm.reset();
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

Program& program() {
    static Program instance;
    return instance;
}

// Calls page(form, pageNumber) for every page of the whole form as direct print sends it.
template <typename PageFn>
void forEachWholeFormPage(print::PrintState& state, PageFn page) {
    for (const print::DirectPrintStep& step : print::wholeFormSequence(print::Family::Yy)) {
        print::ReportForm& form = state.prepare(step.form, print::Numbering::MainText);
        const int pages = print::pageCount(form);
        for (int number = 1; number <= pages; ++number) {
            page(form, number);
        }
    }
}

// The whole form into one PDF (each page added on its own, as the lists are printed); returns
// the pages written.
int printWholeForm(QIODevice& output) {
    print::PrintState state(*program().dm);
    QPdfWriter writer(&output);
    print::PrintJob job(writer);
    forEachWholeFormPage(
        state, [&job](const print::ReportForm& form, int page) { job.add(form, page, page); });
    job.finish();
    return job.pagesPrinted();
}

// What a page of a form prints, text by text: static texts, the record's values, the list's
// rows, the captions of labels and options.
QStringList textsOfPage(const print::ReportForm& form, const print::PagePlan& plan, int page) {
    QStringList texts;
    for (const print::PlacedBand& placed : plan) {
        for (const print::Element& e : placed.band->elements) {
            switch (e.kind) {
                case print::ElementKind::Text:
                    texts << e.text;
                    break;
                case print::ElementKind::Field:
                case print::ElementKind::Memo:
                    texts << form.recordValue(e.field);
                    break;
                case print::ElementKind::RowField:
                    texts << form.dataset()->value(placed.row, form.dataset()->fieldIndex(e.field));
                    break;
                case print::ElementKind::Label:
                case print::ElementKind::Check:
                    texts << form.caption(e.name);
                    break;
                case print::ElementKind::PageNumber:
                    texts << form.caption(e.name) + QString::number(page);
                    break;
                case print::ElementKind::Options:
                    for (const print::OptionItem& option : e.options) {
                        texts << option.caption + form.caption(e.checkName(option));
                    }
                    break;
                default:
                    break;
            }
        }
    }
    texts.removeAll(QString());
    return texts;
}

// The texts of every page of the whole form.
const std::vector<QStringList>& wholeFormTexts() {
    static const std::vector<QStringList> pages = [] {
        print::PrintState state(*program().dm);
        std::vector<QStringList> texts;
        forEachWholeFormPage(state, [&texts](const print::ReportForm& form, int page) {
            texts.push_back(textsOfPage(form, print::paginate(form)[page - 1], page));
        });
        return texts;
    }();
    return pages;
}

void BM_Print_WholeForm(benchmark::State& state) {
    int pages = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        pages = printWholeForm(buffer);
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_Print_WholeForm)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: the same texts, page by page, as plain lines of at most 50 characters in the
// form's base font, one after another down A4 pages, as one PDF.
void BM_PlainText_WholeForm(benchmark::State& state) {
    const std::vector<QStringList>& pages = wholeFormTexts();
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&writer);
        painter.setFont(print::reportFont(QStringLiteral("宋体"), 12, false));
        const double lineHeight = writer.logicalDpiY() * 4 / 25.4;
        for (size_t page = 0; page < pages.size(); ++page) {
            if (page > 0) {
                writer.newPage();
            }
            double y = lineHeight;
            for (const QString& text : pages[page]) {
                for (qsizetype from = 0; from < text.size(); from += 50) {
                    painter.drawText(QPointF(0, y), text.mid(from, 50));
                    y += lineHeight;
                }
            }
        }
        painter.end();
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.counters["pages"] = static_cast<double>(pages.size());
}
BENCHMARK(BM_PlainText_WholeForm)->Unit(benchmark::kMillisecond)->UseRealTime();

// The forms of the family that have a layout, in the order of their buttons.
std::vector<QString> formsWithLayout() {
    std::vector<QString> names;
    for (const print::ReportFormInfo* info : print::familyForms(print::Family::Yy)) {
        if (print::ReportLayout::load(info->unit) != nullptr) {
            names.push_back(info->name);
        }
    }
    return names;
}

// A report form created afresh (its layout read), prepared and its first page painted.
QImage previewFirstPage(const QString& formName) {
    print::PrintState state(*program().dm);
    const print::ReportForm& form = state.prepare(formName);
    return print::renderPageImage(form, 1, 96);
}

void BM_Print_SinglePage(benchmark::State& state, const QString& formName) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(previewFirstPage(formName).constBits());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    // The first page of a run pays for reading the font database (which the program's windows
    // have read before anything is printed) and for opening the faces at their sizes.
    const std::vector<QString> forms = formsWithLayout();
    program();
    QElapsedTimer cold;
    cold.start();
    QFontDatabase::families();
    const double fontDatabaseMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;
    cold.restart();
    previewFirstPage(forms.front());
    const double firstPageMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;

    for (const QString& name : forms) {
        benchmark::RegisterBenchmark(("BM_Print_SinglePage/" + name.toStdString()).c_str(),
                                     BM_Print_SinglePage, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::cout << "\nwhole form: " << wholeFormTexts().size() << " pages\n";
    const auto whole = reporter.times.find("BM_Print_WholeForm/real_time");
    const auto plain = reporter.times.find("BM_PlainText_WholeForm/real_time");
    if (whole != reporter.times.end() && plain != reporter.times.end() && plain->second > 0) {
        std::cout << "ratio (whole form / plain text PDF): " << whole->second / plain->second
                  << "\n";
    }
    std::string slowest;
    double slowestMs = 0;
    for (const auto& [name, ms] : reporter.times) {
        if (name.rfind("BM_Print_SinglePage/", 0) == 0 && ms > slowestMs) {
            slowest = name;
            slowestMs = ms;
        }
    }
    if (!slowest.empty()) {
        std::cout << "slowest single page (create, prepare, paint): " << slowest << " " << slowestMs
                  << " ms\n";
    }
    std::cout << "first page of the run: " << forms.front().toStdString() << " " << firstPageMs
              << " ms, after reading the font database in " << fontDatabaseMs << " ms\n";
    return 0;
}
