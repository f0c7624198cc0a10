#pragma once

#include <memory>

class TFormTree;
class TFormout;
class TFormNew;
class Tdw_Form;
class TFinto8;
class TFinto7;
class TFinto6;
class TFinto5;
class TFormin;
class TPrintForm;
class TFpage1;
class TFpage2;
class TFpage3;
class TFpage4;
class TFpage5;
class TFpage6;
class TFpage7;
class TFpage8;
class TFpage9;
class THelpForm;
class TFormDuoyu;
class TFcodeManage;
class TFormWcr;
class THelpForm_rj;
class TFpage4a;
class TFpage10;
class TFpage11;
class TFpage12;
class TFinto11;
class Tformadvantage;
class Tformunitintrod;
class TFormstudy;
class TMainForm;

// Every window of the program after the main window, created once, hidden, in the order the
// program entry creates them, each published in its global (FormTree, Formout, ...) for the
// whole run; the globals are cleared again when the windows go.
class ProgramWindows {
public:
    explicit ProgramWindows(TMainForm& mainForm);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

private:
    std::unique_ptr<TFormTree> m_formTree;
    std::unique_ptr<TFormout> m_formout;
    std::unique_ptr<TFormNew> m_formNew;
    std::unique_ptr<Tdw_Form> m_dwForm;
    std::unique_ptr<TFinto8> m_into8;
    std::unique_ptr<TFinto7> m_into7;
    std::unique_ptr<TFinto6> m_into6;
    std::unique_ptr<TFinto5> m_into5;
    std::unique_ptr<TFormin> m_formin;
    std::unique_ptr<TPrintForm> m_printForm;
    std::unique_ptr<TFpage1> m_page1;
    std::unique_ptr<TFpage2> m_page2;
    std::unique_ptr<TFpage3> m_page3;
    std::unique_ptr<TFpage4> m_page4;
    std::unique_ptr<TFpage5> m_page5;
    std::unique_ptr<TFpage6> m_page6;
    std::unique_ptr<TFpage7> m_page7;
    std::unique_ptr<TFpage8> m_page8;
    std::unique_ptr<TFpage9> m_page9;
    std::unique_ptr<THelpForm> m_helpForm;
    std::unique_ptr<TFormDuoyu> m_formDuoyu;
    std::unique_ptr<TFcodeManage> m_codeManage;
    std::unique_ptr<TFormWcr> m_formWcr;
    std::unique_ptr<THelpForm_rj> m_helpFormRj;
    std::unique_ptr<TFpage4a> m_page4a;
    std::unique_ptr<TFpage10> m_page10;
    std::unique_ptr<TFpage11> m_page11;
    std::unique_ptr<TFpage12> m_page12;
    std::unique_ptr<TFinto11> m_into11;
    std::unique_ptr<Tformadvantage> m_formAdvantage;
    std::unique_ptr<Tformunitintrod> m_formUnitIntrod;
    std::unique_ptr<TFormstudy> m_formStudy;
};
