#include "ProgramWindows.h"

#include "CgwcrManage.h"
#include "CodeManage.h"
#include "Finto11Unit.h"
#include "Finto5Unit.h"
#include "Finto6Unit.h"
#include "Finto7Unit.h"
#include "Finto8Unit.h"
#include "MemoEditors.h"
#include "PrintUnit.h"
#include "Unit1.h"
#include "Unit2.h"
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

namespace {

// Creates one window from args and publishes it in its global.
template <class Window, class... Args>
void create(std::unique_ptr<Window>& window, Window*& global, Args&&... args) {
    window = std::make_unique<Window>(std::forward<Args>(args)...);
    global = window.get();
}

}  // namespace

ProgramWindows::ProgramWindows(TMainForm& mainForm) {
    create(m_formTree, FormTree, &mainForm);
    create(m_formout, Formout, mainForm, &mainForm);
    create(m_formNew, FormNew, &mainForm);
    create(m_dwForm, dw_Form, &mainForm);
    create(m_into8, Finto8, &mainForm);
    create(m_into7, Finto7, &mainForm);
    create(m_into6, Finto6, &mainForm);
    create(m_into5, Finto5, &mainForm);
    create(m_formin, Formin, mainForm, &mainForm);
    create(m_printForm, PrintForm, &mainForm);
    create(m_page1, Fpage1, mainForm, *m_formTree, &mainForm);
    create(m_page2, Fpage2, mainForm, &mainForm);
    create(m_page3, Fpage3, mainForm, &mainForm);
    create(m_page4, Fpage4, mainForm, &mainForm);
    create(m_page5, Fpage5, mainForm, &mainForm);
    create(m_page6, Fpage6, mainForm, &mainForm);
    create(m_page7, Fpage7, mainForm, &mainForm);
    create(m_page8, Fpage8, mainForm, &mainForm);
    create(m_page9, Fpage9, mainForm, &mainForm);
    create(m_helpForm, HelpForm, &mainForm);
    create(m_formDuoyu, FormDuoyu, &mainForm);
    create(m_codeManage, FcodeManage, &mainForm);
    create(m_formWcr, FormWcr, &mainForm);
    create(m_helpFormRj, HelpForm_rj, &mainForm);
    RecordPage::setHelpWindows(m_helpForm.get(), m_helpFormRj.get());
    create(m_page4a, Fpage4a, mainForm, *m_formTree, &mainForm);
    create(m_page10, Fpage10, mainForm, *m_formTree, &mainForm);
    create(m_page11, Fpage11, mainForm, &mainForm);
    create(m_page12, Fpage12, mainForm, &mainForm);
    create(m_into11, Finto11, &mainForm);
    create(m_formAdvantage, formadvantage, &mainForm);
    create(m_formUnitIntrod, formunitintrod, &mainForm);
    create(m_formStudy, Formstudy, &mainForm);
}

ProgramWindows::~ProgramWindows() {
    Formstudy = nullptr;
    formunitintrod = nullptr;
    formadvantage = nullptr;
    Finto11 = nullptr;
    Fpage12 = nullptr;
    Fpage11 = nullptr;
    Fpage10 = nullptr;
    Fpage4a = nullptr;
    HelpForm_rj = nullptr;
    FormWcr = nullptr;
    FcodeManage = nullptr;
    FormDuoyu = nullptr;
    HelpForm = nullptr;
    Fpage9 = nullptr;
    Fpage8 = nullptr;
    Fpage7 = nullptr;
    Fpage6 = nullptr;
    Fpage5 = nullptr;
    Fpage4 = nullptr;
    Fpage3 = nullptr;
    Fpage2 = nullptr;
    Fpage1 = nullptr;
    PrintForm = nullptr;
    Formin = nullptr;
    Finto5 = nullptr;
    Finto6 = nullptr;
    Finto7 = nullptr;
    Finto8 = nullptr;
    dw_Form = nullptr;
    FormNew = nullptr;
    Formout = nullptr;
    FormTree = nullptr;
}
