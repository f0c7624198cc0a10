#include "PrintNotice.h"

#include "PrintState.h"
#include "ReportForm.h"
#include "ReportRenderer.h"

namespace print {

void PrintNotice::addOmitted(const std::vector<OmittedRows>& omitted) {
    for (const OmittedRows& rows : omitted) {
        m_omitted << rows.text();
    }
}

void PrintNotice::addCuts(const ReportForm& form, const std::vector<RenderNote>& notes) {
    for (const RenderNote& note : notes) {
        if (!note.clipped) {
            continue;
        }
        QString cut = form.pageName(note.page);
        if (note.row >= 0) {
            cut += QStringLiteral("第%1行").arg(note.row + 1);
        }
        cut += QStringLiteral("“%1”").arg(note.caption.isEmpty() ? note.text : note.caption);
        if (!m_cuts.contains(cut)) {
            m_cuts << cut;
        }
    }
}

QString PrintNotice::text() const {
    QStringList lines = m_omitted;
    if (!m_cuts.isEmpty()) {
        lines << QStringLiteral("下列内容太长，在表中印不下，只印出了前一部分（以“…”结尾）：");
        lines << m_cuts;
    }
    return lines.join(u'\n');
}

}  // namespace print
