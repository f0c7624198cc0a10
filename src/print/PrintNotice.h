#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace print {

class ReportForm;
struct OmittedRows;
struct RenderNote;

// What the printed pages could not show, told to the user once for each preview and each
// print: the child rows the form has no slots for, and the values cut short because they did
// not fit their place even at the smallest size.
class PrintNotice {
public:
    void addOmitted(const std::vector<OmittedRows>& omitted);
    // The values that the notes of printing form say were cut, each named by its page, its
    // list row and what the page calls it; shrunk texts are not mentioned.
    void addCuts(const ReportForm& form, const std::vector<RenderNote>& notes);

    bool empty() const { return m_omitted.isEmpty() && m_cuts.isEmpty(); }
    // "专利共 5 项，表中只能印出前 4 项。\n下列内容太长，…：\n第10页第3行“对成果创造性贡献”"
    QString text() const;

private:
    QStringList m_omitted;
    QStringList m_cuts;
};

}  // namespace print
