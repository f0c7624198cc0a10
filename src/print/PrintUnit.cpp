#include "PrintUnit.h"

#include <QAction>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>

#include "AppraisalDocuments.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "ExportMessageBoxes.h"
#include "MainTextDocuments.h"
#include "PrintNotice.h"
#include "Printers.h"
#include "Product.h"
#include "RegistrationDocuments.h"
#include "ReportRenderer.h"
#include "UnitDM.h"
#include "WordExport.h"
#include "ui_PrintUnit.h"

TPrintForm* PrintForm = nullptr;

namespace {

using print::Family;

// The glyph of the custom-print buttons of the pages that show the record's data (the note
// "标*的按钮代表正文").
QIcon mainTextGlyph() {
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(192, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF centre(7, 7);
    for (int i = 0; i < 3; ++i) {
        QTransform turn;
        turn.rotate(60.0 * i);
        painter.drawLine(centre + turn.map(QPointF(0, -5.5)), centre + turn.map(QPointF(0, 5.5)));
    }
    return QIcon(pixmap);
}

// The pages first..last of a form as the user names them ("第6--1页、第6--2页").
QString pageNames(const print::ReportForm& form, int first, int last) {
    QStringList names;
    for (int page = first; page <= std::max(first, last); ++page) {
        names << form.pageName(page);
    }
    return names.join(QStringLiteral("、"));
}

// The message of a print job the printer did not take: the pages, what failed, the printer,
// and what the print had sent before.
QString jobFailure(const QString& pages, const QString& reason, const QString& printer,
                   const QStringList& sent) {
    return QStringLiteral("打印停止：%1没有送到打印机。\n原因：%2\n打印机：%3\n%4")
        .arg(pages, reason, printer,
             sent.isEmpty() ? QStringLiteral("没有任何一页送到打印机。")
                            : QStringLiteral("已送到打印机的页：%1。").arg(sent.join(u'、')));
}

// The seams of a Word export from this dialog: the program's message boxes, documents folder,
// desktop and clock.
documents::ExportSeams exportSeams() {
    static print::ExportMessageBoxes messageBoxes;
    return documents::ExportSeams::standard(messageBoxes);
}

QString whatFailed(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

// The print jobs of one direct print on the printer chosen for it, with the pages sent so far
// and the pages in hand, for the message of a print that stops.
class DirectPrintJobs {
public:
    explicit DirectPrintJobs(print::PrinterSession& printer) : m_printer(printer) {}

    // The form as one print job.
    void printWhole(const print::ReportForm& form) {
        send(form, 1, 0, pageNames(form, 1, print::pageCount(form)));
    }

    // Printing page by page: after the list has been prepared, each of its pages from the first
    // to its page count for the current record as a print job of its own, in ascending order.
    void PrintPagesSeparately(const print::ReportForm& form) {
        const int pages = print::pageCount(form);
        for (int page = 1; page <= pages; ++page) {
            send(form, page, page, pageNames(form, page, page));
        }
    }

    void setInHand(const QString& pages) { m_inHand = pages; }
    const QString& inHand() const { return m_inHand; }
    const QStringList& sent() const { return m_sent; }

private:
    // Pages first..last (last 0: to the form's last page) as one job.
    void send(const print::ReportForm& form, int first, int last, const QString& pages) {
        m_inHand = pages;
        m_printer.print(form, first, last);
        m_sent << m_inHand;
    }

    print::PrinterSession& m_printer;
    QString m_inHand;
    QStringList m_sent;
};

}  // namespace

TPrintForm::TPrintForm(QWidget* parent) : QDialog(parent), m_state(*DM), ui(new Ui::TPrintForm) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(353, 251);
    for (QAbstractButton* button :
         {ui->BitBtn15, ui->BitBtn17, ui->BitBtn21, ui->BitBtn22, ui->BitBtn23, ui->BitBtn24,
          ui->BitBtn25, ui->BitBtn28, ui->BitBtn30, ui->BitBtn34, ui->BitBtn36, ui->BitBtn37,
          ui->BitBtn38, ui->BitBtn40, ui->BitBtn39}) {
        button->setIcon(mainTextGlyph());
    }
    connectHandlers();
    ShowPrintPanel(5);
}

TPrintForm::~TPrintForm() = default;

void TPrintForm::connectHandlers() {
    const auto on = [this](QAbstractButton* button, void (TPrintForm::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, handler);
    };
    on(ui->Button4, &TPrintForm::Button4Click);
    on(ui->Button7, &TPrintForm::Button7Click);
    on(ui->YY_Button, &TPrintForm::YY_ButtonClick);
    on(ui->RJ_Button, &TPrintForm::RJ_ButtonClick);
    on(ui->YY_SButton, &TPrintForm::YY_SButtonClick);
    on(ui->RJ_SButton, &TPrintForm::RJ_SButtonClick);
    on(ui->Button5, &TPrintForm::Button5Click);
    on(ui->Button6, &TPrintForm::Button6Click);
    on(ui->Button3, &TPrintForm::Button3Click);

    on(ui->BitBtn15, &TPrintForm::BitBtn15Click);
    on(ui->BitBtn18, &TPrintForm::BitBtn18Click);
    on(ui->BitBtn19, &TPrintForm::BitBtn19Click);
    on(ui->BitBtn16, &TPrintForm::BitBtn16Click);
    on(ui->BitBtn17, &TPrintForm::BitBtn17Click);
    on(ui->BitBtn20, &TPrintForm::BitBtn20Click);
    on(ui->BitBtn21, &TPrintForm::BitBtn21Click);
    on(ui->BitBtn22, &TPrintForm::BitBtn22Click);
    on(ui->BitBtn23, &TPrintForm::BitBtn23Click);
    on(ui->BitBtn24, &TPrintForm::BitBtn24Click);
    on(ui->BitBtn25, &TPrintForm::BitBtn25Click);
    on(ui->BitBtn27, &TPrintForm::BitBtn27Click);
    on(ui->BitBtn26, &TPrintForm::BitBtn26Click);
    on(ui->Button2, &TPrintForm::Button2Click);
    on(ui->BitBtn3, &TPrintForm::BitBtn3Click);

    on(ui->BitBtn28, &TPrintForm::BitBtn28Click);
    on(ui->BitBtn31, &TPrintForm::BitBtn31Click);
    on(ui->BitBtn32, &TPrintForm::BitBtn32Click);
    on(ui->BitBtn29, &TPrintForm::BitBtn29Click);
    on(ui->BitBtn30, &TPrintForm::BitBtn30Click);
    on(ui->BitBtn33, &TPrintForm::BitBtn33Click);
    on(ui->BitBtn34, &TPrintForm::BitBtn34Click);
    on(ui->BitBtn35, &TPrintForm::BitBtn35Click);
    on(ui->BitBtn36, &TPrintForm::BitBtn36Click);
    on(ui->BitBtn37, &TPrintForm::BitBtn37Click);
    on(ui->BitBtn38, &TPrintForm::BitBtn38Click);
    on(ui->BitBtn40, &TPrintForm::BitBtn40Click);
    on(ui->BitBtn39, &TPrintForm::BitBtn39Click);
    on(ui->BitBtn41, &TPrintForm::BitBtn41Click);
    on(ui->BitBtn1, &TPrintForm::BitBtn1Click);
    on(ui->Button1, &TPrintForm::Button1Click);
    // Both custom panels' "退出" share one handler.
    on(ui->BitBtn2, &TPrintForm::BitBtn3Click);

    on(ui->zBitBtn4, &TPrintForm::zBitBtn4Click);
    on(ui->zBitBtn5, &TPrintForm::zBitBtn5Click);
    on(ui->zBitBtn6, &TPrintForm::zBitBtn6Click);
    on(ui->zBitBtn7, &TPrintForm::zBitBtn7Click);
    on(ui->zBitBtn8, &TPrintForm::zBitBtn8Click);
    on(ui->zBitBtn9, &TPrintForm::zBitBtn9Click);
    on(ui->zBitBtn10, &TPrintForm::zBitBtn10Click);
    on(ui->zBitBtn2, &TPrintForm::zBitBtn2Click);
    on(ui->zBitBtn11, &TPrintForm::zBitBtn11Click);
    on(ui->zBitBtn3, &TPrintForm::zBitBtn3Click);
    on(ui->BitBtn4a, &TPrintForm::BitBtn4aClick);

    on(ui->zBitBtn12, &TPrintForm::zBitBtn12Click);
    on(ui->zBitBtn13, &TPrintForm::zBitBtn13Click);
    on(ui->zBitBtn14, &TPrintForm::zBitBtn14Click);
    on(ui->zBitBtn42, &TPrintForm::zBitBtn42Click);
    on(ui->zBitBtn43, &TPrintForm::zBitBtn43Click);
    on(ui->zBitBtn44, &TPrintForm::zBitBtn44Click);
    on(ui->zBitBtn45, &TPrintForm::zBitBtn45Click);
    on(ui->zBitBtn46, &TPrintForm::zBitBtn46Click);
    on(ui->zBitBtn1, &TPrintForm::zBitBtn1Click);
    on(ui->zBitBtn4z, &TPrintForm::zBitBtn4zClick);
}

int TPrintForm::showDialog() {
    FormShow();
    return widgets::Dialogs::instance().exec(*this);
}

void TPrintForm::ShowPrintPanel(int k) {
    if (k < 1 || k > 5) {
        return;
    }
    QWidget* const panels[] = {ui->Panel1, ui->Panel2, ui->Panel3, ui->Panel4, ui->Panel5};
    for (int i = 0; i < 5; ++i) {
        panels[i]->setVisible(i == k - 1);
    }
}

void TPrintForm::FormShow() {
    ShowPrintPanel(5);
    const bool yy = recordFamily() == Family::Yy;
    ui->YY_Button->setVisible(yy);
    ui->YY_SButton->setVisible(yy);
    ui->RJ_Button->setVisible(!yy);
    ui->RJ_SButton->setVisible(!yy);
}

Family TPrintForm::recordFamily() const {
    return print::familyOf(QString::fromStdString(DM->Qryhvel.field("ITEM_CGLB").asText()));
}

// ---- start panel -------------------------------------------------------------------------

void TPrintForm::Button4Click() {
    ShowPrintPanel(recordFamily() == Family::Yy ? 3 : 4);
}

void TPrintForm::Button7Click() {
    ShowPrintPanel(recordFamily() == Family::Yy ? 2 : 1);
}

void TPrintForm::YY_ButtonClick() {
    documents::YY_ButtonClick(*DM, exportSeams());
}

void TPrintForm::RJ_ButtonClick() {
    documents::RJ_ButtonClick(*DM, exportSeams());
}

void TPrintForm::YY_SButtonClick() {
    documents::YY_SButtonClick(*DM, exportSeams());
}

void TPrintForm::RJ_SButtonClick() {
    documents::RJ_SButtonClick(*DM, exportSeams());
}

void TPrintForm::Button5Click() {
    documents::Button5Click(*DM, exportSeams());
}

void TPrintForm::Button6Click() {
    documents::Button6Click(*DM, exportSeams());
}

// ---- custom print ------------------------------------------------------------------------

void TPrintForm::previewPage(const QString& formName) {
    print::ReportForm& page = m_state.prepare(formName, print::Numbering::Form);
    print::PrintNotice notice;
    notice.addOmitted(m_state.omittedRows());
    // A page without its layout fails here, before anything is said or shown.
    notice.addCuts(page, print::fitNotes(page));
    tell(notice);

    QPrinter& printer = print::Printers::instance().previewPrinter();
    // Each preview prints the whole report unless its own print dialog asks for less: no page
    // range is left over from an earlier one.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPageRanges({});
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(QStringLiteral("打印预览 - %1").arg(page.info().caption));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this, &page](QPrinter* target) { paintPreview(page, target); });
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        preview.resize(std::min(area.width(), area.height() * 4 / 5), area.height() * 9 / 10);
    }
    if (QAction* fitPage = preview.findChild<QAction*>(QStringLiteral("fitPageAction"))) {
        fitPage->trigger();
    }
    widgets::Dialogs::instance().exec(preview);
}

void TPrintForm::paintPreview(print::ReportForm& form, QPrinter* printer) {
    try {
        print::render(form, *printer);
        print::requireNoPrinterError(*printer);
    } catch (const print::PrintError& e) {
        // Printing from the preview runs inside Qt's preview window: the message is shown here
        // rather than thrown through it.
        const bool range = printer->fromPage() > 0;
        widgets::Dialogs::instance().message(
            this, widgets::Icon::Critical, product::applicationTitle(),
            jobFailure(pageNames(form, range ? printer->fromPage() : 1,
                                 range ? printer->toPage() : print::pageCount(form)),
                       whatFailed(e), print::printerDescription(*printer), {}),
            widgets::Ok, widgets::Ok);
    }
}

void TPrintForm::BitBtn15Click() {
    previewPage(QStringLiteral("Trjfm1"));
}

void TPrintForm::BitBtn18Click() {
    previewPage(QStringLiteral("Trjfm2"));
}

void TPrintForm::BitBtn19Click() {
    previewPage(QStringLiteral("TrjPrint01"));
}

void TPrintForm::BitBtn16Click() {
    previewPage(QStringLiteral("TrjPrint02"));
}

void TPrintForm::BitBtn17Click() {
    previewPage(QStringLiteral("TrjPrint03"));
}

void TPrintForm::BitBtn20Click() {
    previewPage(QStringLiteral("TrjPrint04"));
}

void TPrintForm::BitBtn21Click() {
    previewPage(QStringLiteral("TrjPrint05"));
}

void TPrintForm::BitBtn22Click() {
    previewPage(QStringLiteral("TrjPrint06"));
}

void TPrintForm::BitBtn23Click() {
    previewPage(QStringLiteral("TrjPrint07"));
}

void TPrintForm::BitBtn24Click() {
    previewPage(QStringLiteral("TrjPrint08"));
}

void TPrintForm::BitBtn25Click() {
    previewPage(QStringLiteral("TrjPrint09"));
}

void TPrintForm::BitBtn27Click() {
    previewPage(QStringLiteral("TrjPrint10"));
}

void TPrintForm::BitBtn26Click() {
    previewPage(QStringLiteral("TrjPrint11"));
}

void TPrintForm::BitBtn28Click() {
    previewPage(QStringLiteral("Tyyfm1"));
}

void TPrintForm::BitBtn31Click() {
    previewPage(QStringLiteral("Tyyfm2"));
}

void TPrintForm::BitBtn32Click() {
    previewPage(QStringLiteral("TyyPrint01"));
}

void TPrintForm::BitBtn29Click() {
    previewPage(QStringLiteral("TyyPrint02"));
}

void TPrintForm::BitBtn30Click() {
    previewPage(QStringLiteral("TyyPrint03"));
}

void TPrintForm::BitBtn33Click() {
    previewPage(QStringLiteral("TyyPrint04"));
}

void TPrintForm::BitBtn34Click() {
    previewPage(QStringLiteral("TyyPrint05"));
}

void TPrintForm::BitBtn35Click() {
    previewPage(QStringLiteral("TyyPrint06"));
}

void TPrintForm::BitBtn36Click() {
    previewPage(QStringLiteral("TyyPrint07"));
}

void TPrintForm::BitBtn37Click() {
    previewPage(QStringLiteral("TyyPrint08"));
}

void TPrintForm::BitBtn38Click() {
    previewPage(QStringLiteral("TyyPrint09"));
}

void TPrintForm::BitBtn40Click() {
    previewPage(QStringLiteral("TyyPrint10"));
}

void TPrintForm::BitBtn39Click() {
    previewPage(QStringLiteral("TyyPrint11"));
}

void TPrintForm::BitBtn41Click() {
    previewPage(QStringLiteral("TyyPrint12"));
}

void TPrintForm::BitBtn1Click() {
    // The family has no form numbered 13: its button "13" opens TyyPrint14.
    previewPage(QStringLiteral("TyyPrint14"));
}

// ---- direct print ------------------------------------------------------------------------

void TPrintForm::printDirect(const std::vector<print::DirectPrintStep>& steps) {
    std::unique_ptr<print::PrinterSession> printer = print::Printers::instance().begin(this);
    if (!printer) {
        return;  // the user cancelled choosing a printer
    }
    DirectPrintJobs jobs(*printer);
    print::PrintNotice notice;
    for (const print::DirectPrintStep& step : steps) {
        // The step's page until it is prepared, then the pages of each job.
        const print::ReportFormInfo& info = *print::findReportForm(step.form);
        jobs.setInHand(info.mainTextPage.isEmpty()
                           ? info.caption
                           : QStringLiteral("第%1页").arg(info.mainTextPage));
        try {
            print::ReportForm& form = m_state.prepare(step.form, print::Numbering::MainText);
            const std::vector<print::OmittedRows> omitted = m_state.omittedRows();
            const std::vector<print::RenderNote> notes = print::fitNotes(form);
            if (step.printPagesSeparately) {
                jobs.PrintPagesSeparately(form);
            } else {
                jobs.printWhole(form);
            }
            notice.addOmitted(omitted);
            notice.addCuts(form, notes);
        } catch (const std::exception& e) {
            tell(notice);
            throw print::PrintError(
                jobFailure(jobs.inHand(), whatFailed(e), printer->printerName(), jobs.sent()));
        }
    }
    try {
        printer->finish();
    } catch (const print::PrintError& e) {
        throw print::PrintError(QStringLiteral("打印没有完成：%1\n打印机：%2")
                                    .arg(whatFailed(e), printer->printerName()));
    }
    tell(notice);
}

void TPrintForm::printStep(Family family, size_t k) {
    printDirect({print::wholeFormSequence(family).at(k)});
}

void TPrintForm::tell(const print::PrintNotice& notice) {
    if (notice.empty()) {
        return;
    }
    widgets::Dialogs::instance().message(this, widgets::Icon::Information,
                                         QStringLiteral("提示信息"), notice.text(), widgets::Ok,
                                         widgets::Ok);
}

void TPrintForm::zBitBtn4Click() {
    printDirect(print::wholeFormSequence(Family::Yy));
}

void TPrintForm::zBitBtn5Click() {
    printStep(Family::Yy, 0);
}

void TPrintForm::zBitBtn6Click() {
    printStep(Family::Yy, 1);
}

void TPrintForm::zBitBtn7Click() {
    printStep(Family::Yy, 2);
}

void TPrintForm::zBitBtn8Click() {
    printStep(Family::Yy, 3);
}

void TPrintForm::zBitBtn9Click() {
    printStep(Family::Yy, 4);
}

void TPrintForm::zBitBtn10Click() {
    printStep(Family::Yy, 5);
}

void TPrintForm::zBitBtn2Click() {
    printStep(Family::Yy, 6);
}

void TPrintForm::zBitBtn11Click() {
    printStep(Family::Yy, 7);
}

void TPrintForm::zBitBtn12Click() {
    printDirect(print::wholeFormSequence(Family::Rj));
}

void TPrintForm::zBitBtn13Click() {
    printStep(Family::Rj, 0);
}

void TPrintForm::zBitBtn14Click() {
    printStep(Family::Rj, 1);
}

void TPrintForm::zBitBtn42Click() {
    printStep(Family::Rj, 2);
}

void TPrintForm::zBitBtn43Click() {
    printStep(Family::Rj, 3);
}

void TPrintForm::zBitBtn44Click() {
    printStep(Family::Rj, 4);
}

void TPrintForm::zBitBtn45Click() {
    printStep(Family::Rj, 5);
}

void TPrintForm::zBitBtn46Click() {
    printStep(Family::Rj, 6);
}

// ---- back and leaving --------------------------------------------------------------------

void TPrintForm::Button2Click() {
    ui->YY_Button->setVisible(false);
    ui->RJ_Button->setVisible(true);
    ShowPrintPanel(5);
}

void TPrintForm::Button1Click() {
    ui->YY_Button->setVisible(true);
    ui->RJ_Button->setVisible(false);
    ShowPrintPanel(5);
}

void TPrintForm::zBitBtn3Click() {
    ShowPrintPanel(5);
}

void TPrintForm::zBitBtn1Click() {
    ShowPrintPanel(5);
}

void TPrintForm::BitBtn3Click() {
    close();
}

void TPrintForm::zBitBtn4zClick() {
    close();
}

void TPrintForm::BitBtn4aClick() {
    close();
}

void TPrintForm::Button3Click() {
    close();
}
