#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>

#include "ReportForms.h"
#include "ReportLayout.h"

namespace print {

class MemoryTable;

// One report form: its layout (null while no layout file exists for it), the state of its
// controls addressed by name, and the data of one preparation (the record's bound fields and
// the in-memory table of a list).
class ReportForm {
public:
    ReportForm(const ReportFormInfo& info, std::shared_ptr<const ReportLayout> layout);

    const ReportFormInfo& info() const { return m_info; }
    const QString& name() const { return m_info.name; }
    const ReportLayout* layout() const { return m_layout.get(); }
    bool hasLayout() const { return m_layout != nullptr; }

    // The report labels of the form in layout order (empty while it has no layout).
    QStringList labelNames() const;

    // Controls by name: captions of labels, the text of a page-number control, the enabled
    // state. A name that the layout lacks is a PrintError; a form without a layout keeps what
    // it is given, so that its preparation runs before its layout file exists.
    void setCaption(const QString& name, const QString& caption);
    QString caption(const QString& name) const;
    void setEnabled(const QString& name, bool enabled);
    bool isEnabled(const QString& name) const;
    // The page label as it prints on page (counted from 1): a list's running number
    // (QRSysData1's text followed by the page) or its static label (QRpage), a main-text page's
    // QRPage; empty on pages that carry none (covers, instructions, annexes).
    QString pageLabel(int page) const;
    // How the user names a printed page: by its page label ("第6--1页"), a page without one by
    // its caption on the custom-print panel ("封面1").
    QString pageName(int page) const;
    // Every control name the preparation addressed since the form was created.
    const QSet<QString>& addressedNames() const { return m_addressed; }

    // The record's values of the fields the layout binds, as read at the last preparation.
    void setRecordValue(const QString& field, const QString& value);
    QString recordValue(const QString& field) const;

    // The in-memory table a list page prints (null for single pages).
    void setDataset(const MemoryTable* table) { m_dataset = table; }
    const MemoryTable* dataset() const { return m_dataset; }

private:
    struct ControlState {
        QString caption;
        bool enabled = true;
    };
    ControlState& control(const QString& name);

    const ReportFormInfo& m_info;
    std::shared_ptr<const ReportLayout> m_layout;
    std::map<QString, ControlState> m_controls;
    QSet<QString> m_addressed;
    std::map<QString, QString> m_record;
    const MemoryTable* m_dataset = nullptr;
};

}  // namespace print
