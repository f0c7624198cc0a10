// The program entry: the data module first, then the main window, then the event loop.
#include <QStringList>

#include "Application.h"
#include "CgwcrManage.h"
#include "CodeManage.h"
#include "Finto11Unit.h"
#include "Finto5Unit.h"
#include "Finto6Unit.h"
#include "Finto7Unit.h"
#include "Finto8Unit.h"
#include "MemoEditors.h"
#include "PrintUnit.h"
#include "Product.h"
#include "SingleInstance.h"
#include "Unit1.h"
#include "Unit2.h"
#include "UnitDM.h"
#include "UnitDuoyu.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitin.h"
#include "Unitout.h"
#include "Unitpage10.h"
#include "Unitpage11.h"
#include "Unitpage12.h"
#include "Unitpage2.h"
#include "Unitpage3.h"
#include "Unitpage4.h"
#include "Unitpage4a.h"
#include "Unitpage5.h"
#include "Unitpage6.h"
#include "Unitpage7.h"
#include "Unitpage8.h"
#include "Unitpage9.h"
#include "Unittree.h"
#include "dw_Unit.h"
#include "yyPrintUnit13.h"

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);

    // A second start ends here, silently, before it touches a table or shows a window.
    SingleInstance instance(product::applicationTitle());
    if (!instance.isFirst()) {
        return 0;
    }

    TDM dataModule(QCoreApplication::applicationDirPath().toStdString());
    DM = &dataModule;
    const std::vector<std::string> errors = dataModule.DataModuleCreate();
    if (!errors.empty()) {
        QStringList texts;
        for (const std::string& error : errors) {
            texts << QString::fromStdString(error);
        }
        VelmoraApplication::showException(texts.join(QLatin1Char('\n')));
    }

    TMainForm mainForm;
    MainForm = &mainForm;

    // Every further window, once, hidden, in this order: TFormTree, TFormout, TFormNew,
    // Tdw_Form, TFinto8, TFinto7, TFinto6, TFinto5, TFormin, TPrintForm, TFpage1, TFpage2 ...
    TFormTree formTree(&mainForm);
    FormTree = &formTree;
    TFormout formout(&mainForm);
    Formout = &formout;
    TFormNew formNew(&mainForm);
    FormNew = &formNew;
    Tdw_Form dwForm(&mainForm);
    dw_Form = &dwForm;
    TFinto8 into8(&mainForm);
    Finto8 = &into8;
    TFinto7 into7(&mainForm);
    Finto7 = &into7;
    TFinto6 into6(&mainForm);
    Finto6 = &into6;
    TFinto5 into5(&mainForm);
    Finto5 = &into5;
    TFormin formin(&mainForm);
    Formin = &formin;
    TPrintForm printForm(&mainForm);
    PrintForm = &printForm;
    TFpage1 page1(&mainForm);
    Fpage1 = &page1;
    TFpage2 page2(&mainForm);
    Fpage2 = &page2;
    TFpage3 page3(&mainForm);
    Fpage3 = &page3;
    TFpage4 page4(&mainForm);
    Fpage4 = &page4;
    TFpage5 page5(&mainForm);
    Fpage5 = &page5;
    TFpage6 page6(&mainForm);
    Fpage6 = &page6;
    TFpage7 page7(&mainForm);
    Fpage7 = &page7;
    TFpage8 page8(&mainForm);
    Fpage8 = &page8;
    TFpage9 page9(&mainForm);
    Fpage9 = &page9;
    THelpForm helpForm(&mainForm);
    HelpForm = &helpForm;
    TFormDuoyu formDuoyu(&mainForm);
    FormDuoyu = &formDuoyu;
    TFcodeManage codeManage(&mainForm);
    FcodeManage = &codeManage;
    TFormWcr formWcr(&mainForm);
    FormWcr = &formWcr;
    THelpForm_rj helpFormRj(&mainForm);
    HelpForm_rj = &helpFormRj;
    RecordPage::setHelpWindows(&helpForm, &helpFormRj);
    TFpage4a page4a(&mainForm);
    Fpage4a = &page4a;
    TFpage10 page10(&mainForm);
    Fpage10 = &page10;
    TFpage11 page11(&mainForm);
    Fpage11 = &page11;
    TFpage12 page12(&mainForm);
    Fpage12 = &page12;
    TFinto11 into11(&mainForm);
    Finto11 = &into11;
    Tformadvantage formAdvantage(&mainForm);
    formadvantage = &formAdvantage;
    Tformunitintrod formUnitIntrod(&mainForm);
    formunitintrod = &formUnitIntrod;
    TFormstudy formStudy(&mainForm);
    Formstudy = &formStudy;

    mainForm.show();
    const int result = QApplication::exec();
    Formstudy = nullptr;
    formunitintrod = nullptr;
    formadvantage = nullptr;
    Finto11 = nullptr;
    Fpage12 = nullptr;
    Fpage11 = nullptr;
    Fpage4a = nullptr;
    Fpage10 = nullptr;
    Fpage1 = nullptr;
    Fpage2 = nullptr;
    Fpage6 = nullptr;
    Finto6 = nullptr;
    Fpage3 = nullptr;
    Fpage4 = nullptr;
    Fpage5 = nullptr;
    Fpage7 = nullptr;
    Fpage8 = nullptr;
    Finto5 = nullptr;
    Finto7 = nullptr;
    Finto8 = nullptr;
    FormWcr = nullptr;
    dw_Form = nullptr;
    Fpage9 = nullptr;
    HelpForm = nullptr;
    HelpForm_rj = nullptr;
    FormNew = nullptr;
    Formout = nullptr;
    FcodeManage = nullptr;
    FormDuoyu = nullptr;
    PrintForm = nullptr;
    Formin = nullptr;
    FormTree = nullptr;
    MainForm = nullptr;
    DM = nullptr;
    return result;
}
