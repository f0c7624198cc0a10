#include "ReportForm.h"

namespace print {

ReportForm::ReportForm(const ReportFormInfo& info, std::shared_ptr<const ReportLayout> layout)
    : m_info(info), m_layout(std::move(layout)) {
    if (m_layout == nullptr) {
        return;
    }
    // The design captions: page labels and page-number texts as the layout gives them.
    for (const Band& band : m_layout->bands) {
        for (const Element& e : band.elements) {
            if (e.kind == ElementKind::Options) {
                for (const OptionItem& option : e.options) {
                    m_controls[e.checkName(option)] = {};
                }
            } else if (!e.name.isEmpty()) {
                m_controls[e.name] = {e.text, true};
            }
        }
    }
}

QStringList ReportForm::labelNames() const {
    return m_layout != nullptr ? m_layout->labelNames() : QStringList();
}

ReportForm::ControlState& ReportForm::control(const QString& name) {
    m_addressed.insert(name);
    const auto it = m_controls.find(name);
    if (it != m_controls.end()) {
        return it->second;
    }
    if (m_layout != nullptr) {
        throw PrintError(
            QStringLiteral("报表 %1（版面 %2）中没有控件 %3").arg(m_info.name, m_info.unit, name));
    }
    return m_controls[name];
}

void ReportForm::setCaption(const QString& name, const QString& caption) {
    control(name).caption = caption;
}

QString ReportForm::caption(const QString& name) const {
    const auto it = m_controls.find(name);
    return it != m_controls.end() ? it->second.caption : QString();
}

void ReportForm::setEnabled(const QString& name, bool enabled) {
    control(name).enabled = enabled;
}

bool ReportForm::isEnabled(const QString& name) const {
    const auto it = m_controls.find(name);
    return it == m_controls.end() || it->second.enabled;
}

QString ReportForm::pageLabel(int page) const {
    if (m_info.formPage.isEmpty()) {
        return {};
    }
    if (!m_info.list) {
        return caption(QStringLiteral("QRPage"));
    }
    if (isEnabled(QStringLiteral("QRSysData1"))) {
        return caption(QStringLiteral("QRSysData1")) + QString::number(page);
    }
    return isEnabled(QStringLiteral("QRpage")) ? caption(QStringLiteral("QRpage")) : QString();
}

QString ReportForm::pageName(int page) const {
    const QString label = pageLabel(page);
    return label.isEmpty() ? m_info.caption : QStringLiteral("第%1页").arg(label);
}

void ReportForm::setRecordValue(const QString& field, const QString& value) {
    m_record[field] = value;
}

QString ReportForm::recordValue(const QString& field) const {
    const auto it = m_record.find(field);
    return it != m_record.end() ? it->second : QString();
}

}  // namespace print
