#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "PrintState.h"
#include "ReportForms.h"

class QAbstractButton;
class QPrinter;

namespace print {
class PrintNotice;
}

namespace Ui {
class TPrintForm;
}

// "数据打印": prints the current record on the pages of the registration form, page by page in
// a preview (custom print) or straight to the printer with the main text renumbered (direct
// print), and offers the word-processor documents. The record is the current row of Qryhvel
// with the child tables as the main window filtered them; the dialog never moves a cursor.
class TPrintForm : public QDialog {
    Q_OBJECT

public:
    explicit TPrintForm(QWidget* parent = nullptr);
    ~TPrintForm() override;

    Ui::TPrintForm* form() const { return ui.get(); }
    print::PrintState& state() { return m_state; }

    // FormShow, then the window modally through the dialogs seam.
    int showDialog();

    // Makes panel k (1 to 5) the one visible panel; any other k changes nothing.
    void ShowPrintPanel(int k);
    // The start panel with the Word buttons of the record's family.
    void FormShow();

    // ---- Start panel ----
    // "直接打印" and "自定义打印": the panel of the record's family.
    void Button4Click();
    void Button7Click();
    // The Word documents.
    void YY_ButtonClick();
    void RJ_ButtonClick();
    void YY_SButtonClick();
    void RJ_SButtonClick();
    void Button5Click();
    void Button6Click();

    // ---- Custom print: the page prepared with its own page label, then its preview ----
    // Basic theory and soft science.
    void BitBtn15Click();
    void BitBtn18Click();
    void BitBtn19Click();
    void BitBtn16Click();
    void BitBtn17Click();
    void BitBtn20Click();
    void BitBtn21Click();
    void BitBtn22Click();
    void BitBtn23Click();
    void BitBtn24Click();
    void BitBtn25Click();
    void BitBtn27Click();
    void BitBtn26Click();
    // Applied technology.
    void BitBtn28Click();
    void BitBtn31Click();
    void BitBtn32Click();
    void BitBtn29Click();
    void BitBtn30Click();
    void BitBtn33Click();
    void BitBtn34Click();
    void BitBtn35Click();
    void BitBtn36Click();
    void BitBtn37Click();
    void BitBtn38Click();
    void BitBtn40Click();
    void BitBtn39Click();
    void BitBtn41Click();
    void BitBtn1Click();

    // ---- Direct print: the whole form, or one step of it ----
    // Applied technology.
    void zBitBtn4Click();
    void zBitBtn5Click();
    void zBitBtn6Click();
    void zBitBtn7Click();
    void zBitBtn8Click();
    void zBitBtn9Click();
    void zBitBtn10Click();
    void zBitBtn2Click();
    void zBitBtn11Click();
    // Basic theory and soft science.
    void zBitBtn12Click();
    void zBitBtn13Click();
    void zBitBtn14Click();
    void zBitBtn42Click();
    void zBitBtn43Click();
    void zBitBtn44Click();
    void zBitBtn45Click();
    void zBitBtn46Click();

    // ---- Back to the start panel, and leaving ----
    // "返回" of the custom panels: rj (Button2) and yy (Button1).
    void Button2Click();
    void Button1Click();
    // "返回" of the direct panels.
    void zBitBtn3Click();
    void zBitBtn1Click();
    // "退出" of every panel.
    void BitBtn3Click();
    void zBitBtn4zClick();
    void BitBtn4aClick();
    void Button3Click();

private:
    void connectHandlers();
    // The family of the current record, read anew.
    print::Family recordFamily() const;
    // Custom print: prepares the form with its own page label and opens its preview.
    void previewPage(const QString& formName);
    void paintPreview(print::ReportForm& form, QPrinter* printer);
    // Direct print of the steps in order, all to one printer.
    void printDirect(const std::vector<print::DirectPrintStep>& steps);
    // Direct print of step k of the family's whole-form sequence.
    void printStep(print::Family family, size_t k);
    // One information message on what the printed pages could not show, when there is any.
    void tell(const print::PrintNotice& notice);

    print::PrintState m_state;
    std::unique_ptr<Ui::TPrintForm> ui;
};

// The program's print dialog, created at start-up.
extern TPrintForm* PrintForm;
