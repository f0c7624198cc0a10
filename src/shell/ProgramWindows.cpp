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

class ProgramWindows::Published {
public:
    virtual ~Published() = default;
};

// One object and the name it is published under: set on creation, cleared before the object
// goes.
template <class Object>
class ProgramWindows::PublishedAs final : public Published {
public:
    PublishedAs(Object*& name, std::unique_ptr<Object> object)
        : m_name(name), m_object(std::move(object)) {
        m_name = m_object.get();
    }
    ~PublishedAs() override { m_name = nullptr; }

    Object& object() const { return *m_object; }

private:
    Object*& m_name;
    std::unique_ptr<Object> m_object;
};

template <class Object, class... Args>
Object& ProgramWindows::publish(Object*& name, Args&&... args) {
    auto published = std::make_unique<PublishedAs<Object>>(
        name, std::make_unique<Object>(std::forward<Args>(args)...));
    Object& object = published->object();
    m_objects.push_back(std::move(published));
    return object;
}

ProgramWindows::ProgramWindows(const std::filesystem::path& programDir)
    : m_dataModule(&publish(DM, programDir)) {}

ProgramWindows::~ProgramWindows() {
    // The last created goes first (a vector's own destruction keeps no order).
    while (!m_objects.empty()) {
        m_objects.pop_back();
    }
}

TMainForm& ProgramWindows::createWindows() {
    TMainForm& main = publish(MainForm);
    QWidget* parent = &main;
    TFormTree& picker = publish(FormTree, parent);
    publish(Formout, main, parent);
    publish(FormNew, parent);
    publish(dw_Form, parent);
    publish(Finto8, parent);
    publish(Finto7, parent);
    publish(Finto6, parent);
    publish(Finto5, parent);
    publish(Formin, main, parent);
    publish(PrintForm, parent);
    publish(Fpage1, main, picker, parent);
    publish(Fpage2, main, parent);
    publish(Fpage3, main, parent);
    publish(Fpage4, main, parent);
    publish(Fpage5, main, parent);
    publish(Fpage6, main, parent);
    publish(Fpage7, main, parent);
    publish(Fpage8, main, parent);
    publish(Fpage9, main, parent);
    THelpForm& help = publish(HelpForm, parent);
    publish(FormDuoyu, parent);
    publish(FcodeManage, parent);
    publish(FormWcr, parent);
    THelpForm_rj& helpOthers = publish(HelpForm_rj, parent);
    RecordPage::setHelpWindows(&help, &helpOthers);
    publish(Fpage4a, main, picker, parent);
    publish(Fpage10, main, picker, parent);
    publish(Fpage11, main, parent);
    publish(Fpage12, main, parent);
    publish(Finto11, parent);
    publish(formadvantage, parent);
    publish(formunitintrod, parent);
    publish(Formstudy, parent);
    return main;
}
