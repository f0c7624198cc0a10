#include "ReportForms.h"

#include "PrintState.h"

namespace print {

Family familyOf(const QString& itemCglb) {
    return itemCglb == u"1" ? Family::Yy : Family::Rj;
}

namespace {

QStringList fields(std::initializer_list<const char*> names) {
    QStringList list;
    for (const char* name : names) {
        list << QLatin1String(name);
    }
    return list;
}

std::vector<ReportFormInfo> makeForms() {
    using P = PrintState;
    const Family yy = Family::Yy;
    const Family rj = Family::Rj;
    auto form = [](const char* name, const char* unit, Family family, const QString& caption,
                   const char* formPage = "", const char* mainTextPage = "",
                   void(PrintState::*prepare)(ReportForm&) = nullptr, QStringList checkFields = {},
                   bool list = false) {
        return ReportFormInfo{QLatin1String(name),     QLatin1String(unit),         family, caption,
                              QLatin1String(formPage), QLatin1String(mainTextPage), list,   prepare,
                              std::move(checkFields)};
    };
    const QString cover1 = QStringLiteral("封面1");
    const QString cover2 = QStringLiteral("封面2");
    return {
        form("Tyyfm1", "yyfmUnit1", yy, cover1, "", "", &P::PrepareCover),
        form("Tyyfm2", "yyfmUnit2", yy, cover2),
        form("TyyPrint01", "yyPrintUnit01", yy, QStringLiteral("1")),
        form("TyyPrint02", "yyPrintUnit02", yy, QStringLiteral("2")),
        form("TyyPrint03", "yyPrintUnit03", yy, QStringLiteral("3"), "3", "1",
             &P::PrepareTyyPrint03,
             fields({"ITEM_2", "ITEM_16", "ITEM_33", "ITEM_123", "ITEM_124_1", "ITEM_125",
                     "ITEM_126", "ITEM_140", "ITEM_201", "ITEM_125_1"})),
        form("TyyPrint04", "yyPrintUnit04", yy, QStringLiteral("4")),
        form("TyyPrint05", "yyPrintUnit05", yy, QStringLiteral("5"), "5", "2",
             &P::PrepareTyyPrint05,
             fields({"ITEM_21", "ITEM_32", "ITEM_32_1", "ITEM_51", "ITEM_51_1", "ITEM_161",
                     "ITEM_160"})),
        form("TyyPrint06", "yyPrintUnit06", yy, QStringLiteral("6")),
        form("TyyPrint07", "yyPrintUnit07", yy, QStringLiteral("7"), "7", "3",
             &P::PrepareTyyPrint07, fields({"ITEM_41_3", "ITEM_62", "ITEM_163"})),
        form("TyyPrint08", "yyPrintUnit08", yy, QStringLiteral("8"), "8", "4",
             &P::PrepareApprovalPage),
        form("TyyPrint09", "yyPrintUnit09", yy, QStringLiteral("9"), "9", "5"),
        form("TyyPrint10", "yyPrintUnit10", yy, QStringLiteral("10"), "10", "6",
             &P::PreparePersonsList, {}, true),
        form("TyyPrint11", "yyPrintUnit11", yy, QStringLiteral("11"), "11", "7",
             &P::PrepareCommitteeList, {}, true),
        form("TyyPrint12", "yyPrintUnit12", yy, QStringLiteral("12")),
        // The family has no form numbered 13: its button "13" opens TyyPrint14.
        form("TyyPrint14", "yyPrintUnit14", yy, QStringLiteral("13")),

        form("Trjfm1", "rjfmUnit1", rj, cover1, "", "", &P::PrepareCover),
        form("Trjfm2", "rjfmUnit2", rj, cover2),
        form("TrjPrint01", "rjPrintUnit01", rj, QStringLiteral("1")),
        form("TrjPrint02", "rjPrintUnit02", rj, QStringLiteral("2")),
        form("TrjPrint03", "rjPrintUnit03", rj, QStringLiteral("3"), "3", "1",
             &P::PrepareTrjPrint03,
             fields({"ITEM_2", "ITEM_125", "ITEM_126", "ITEM_140", "ITEM_200", "ITEM_201",
                     "ITEM_210"})),
        form("TrjPrint04", "rjPrintUnit04", rj, QStringLiteral("4")),
        form("TrjPrint05", "rjPrintUnit05", rj, QStringLiteral("5"), "5", "2",
             &P::PrepareTrjPrint05, fields({"ITEM_163", "ITEM_41_3", "ITEM_62", "ITEM_21"})),
        form("TrjPrint06", "rjPrintUnit06", rj, QStringLiteral("6"), "6", "3",
             &P::PrepareApprovalPage),
        form("TrjPrint07", "rjPrintUnit07", rj, QStringLiteral("7"), "7", "4"),
        form("TrjPrint08", "rjPrintUnit08", rj, QStringLiteral("8"), "8", "5",
             &P::PreparePersonsList, {}, true),
        form("TrjPrint09", "rjPrintUnit09", rj, QStringLiteral("9"), "9", "6",
             &P::PrepareCommitteeList, {}, true),
        form("TrjPrint10", "rjPrintUnit10", rj, QStringLiteral("10")),
        form("TrjPrint11", "rjPrintUnit11", rj, QStringLiteral("11")),
    };
}

}  // namespace

const std::vector<ReportFormInfo>& reportForms() {
    static const std::vector<ReportFormInfo> forms = makeForms();
    return forms;
}

const ReportFormInfo* findReportForm(const QString& name) {
    for (const ReportFormInfo& info : reportForms()) {
        if (info.name == name) {
            return &info;
        }
    }
    return nullptr;
}

std::vector<const ReportFormInfo*> familyForms(Family family) {
    std::vector<const ReportFormInfo*> forms;
    for (const ReportFormInfo& info : reportForms()) {
        if (info.family == family) {
            forms.push_back(&info);
        }
    }
    return forms;
}

std::vector<DirectPrintStep> wholeFormSequence(Family family) {
    auto step = [](const char* form, bool printPagesSeparately = false) {
        return DirectPrintStep{QLatin1String(form), printPagesSeparately};
    };
    if (family == Family::Yy) {
        return {step("Tyyfm1"),           step("TyyPrint03"),      step("TyyPrint05"),
                step("TyyPrint07"),       step("TyyPrint08"),      step("TyyPrint09"),
                step("TyyPrint10", true), step("TyyPrint11", true)};
    }
    return {step("Trjfm1"),          step("TrjPrint03"), step("TrjPrint05"),
            step("TrjPrint06"),      step("TrjPrint07"), step("TrjPrint08", true),
            step("TrjPrint09", true)};
}

}  // namespace print
