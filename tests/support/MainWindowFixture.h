#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "DataModuleFixture.h"
#include "GlyphButton.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "Unittree.h"
#include "ui_Unit1.h"

namespace testsupport {

// The data module of DataModuleTest with the main window and the tree picker over it.
class MainWindowTest : public DataModuleTest {
protected:
    void start(const std::vector<Row>& records, const std::vector<Row>& persons = {},
               bool withUnit = true) {
        startData(records, persons, withUnit);
        if (HasFatalFailure()) {
            return;
        }
        m_form = std::make_unique<TMainForm>();
        MainForm = m_form.get();
        m_tree = std::make_unique<TFormTree>(m_form.get());
        FormTree = m_tree.get();
        m_form->show();
        ui = m_form->form();
    }

    void TearDown() override {
        FormTree = nullptr;
        m_tree.reset();
        m_form.reset();
        MainForm = nullptr;
        DataModuleTest::TearDown();
    }

    QStringList items(QComboBox* combo) const {
        QStringList list;
        for (int i = 0; i < combo->count(); ++i) {
            list << combo->itemText(i);
        }
        return list;
    }

    QStringList listColumn(const char* field) const {
        QStringList values;
        store::Query& list = DM->Qryhvel;
        for (list.first(); !list.eof(); list.next()) {
            values << QString::fromStdString(list.field(field).asText());
        }
        return values;
    }

    bool complete(GlyphButton* button) const { return button->kind() == GlyphButton::Kind::Yes; }

    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TFormTree> m_tree;
    Ui::TMainForm* ui = nullptr;
    widgets::FixedClock m_clock{QDate(2026, 12, 10)};
};

}  // namespace testsupport
