// The program entry: the data module first, then the main window, then the event loop.
#include <QStringList>

#include "Application.h"
#include "Product.h"
#include "SingleInstance.h"
#include "Unit1.h"
#include "Unit2.h"
#include "UnitDM.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitpage4.h"
#include "dw_Unit.h"
#include "Unitpage3.h"
#include "Unitpage9.h"
#include "Unittree.h"
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
    TFormNew formNew(&mainForm);
    FormNew = &formNew;
    Tdw_Form dwForm(&mainForm);
    dw_Form = &dwForm;
    TFpage1 page1(&mainForm);
    Fpage1 = &page1;
    TFpage3 page3(&mainForm);
    Fpage3 = &page3;
    TFpage4 page4(&mainForm);
    Fpage4 = &page4;
    TFpage9 page9(&mainForm);
    Fpage9 = &page9;
    THelpForm helpForm(&mainForm);
    HelpForm = &helpForm;
    THelpForm_rj helpFormRj(&mainForm);
    HelpForm_rj = &helpFormRj;
    RecordPage::setHelpWindows(&helpForm, &helpFormRj);

    mainForm.show();
    const int result = QApplication::exec();
    Fpage1 = nullptr;
    Fpage3 = nullptr;
    Fpage4 = nullptr;
    dw_Form = nullptr;
    Fpage9 = nullptr;
    HelpForm = nullptr;
    HelpForm_rj = nullptr;
    FormNew = nullptr;
    FormTree = nullptr;
    MainForm = nullptr;
    DM = nullptr;
    return result;
}
