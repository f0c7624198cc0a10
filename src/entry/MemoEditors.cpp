#include "MemoEditors.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "Dataset.h"
#include "Dialogs.h"
#include "UnitDM.h"
#include "Unitpage4a.h"
#include "ui_MemoEditor.h"

TFormstudy* Formstudy = nullptr;
Tformadvantage* formadvantage = nullptr;
Tformunitintrod* formunitintrod = nullptr;

UnitMemoEditor::UnitMemoEditor(const QString& caption, std::string column, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TUnitMemoEditor>()), m_column(std::move(column)) {
    ui->setupUi(this);
    setWindowTitle(caption);
    connect(ui->Button1, &QPushButton::clicked, this, &UnitMemoEditor::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &UnitMemoEditor::Button2Click);
}

UnitMemoEditor::~UnitMemoEditor() = default;

int UnitMemoEditor::showFor(QPlainTextEdit* pageMemo) {
    m_pageMemo = pageMemo;
    ui->Memo1->setPlainText(pageMemo->toPlainText());
    return widgets::Dialogs::instance().exec(*this);
}

void UnitMemoEditor::Button1Click() {
    const QString typed = ui->Memo1->toPlainText();
    QString stored = typed;
    stored.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    store::Table& unit = DM->Tblunit;
    try {
        registeringunit::editUnitRow(unit);
        unit.field(m_column).set(stored.isEmpty() ? store::Value()
                                                  : store::Value(stored.toStdString()));
        unit.post();
    } catch (...) {
        // The row does not stay half edited; the error goes to the default error box.
        if (unit.state() == store::Dataset::State::Edit ||
            unit.state() == store::Dataset::State::Insert) {
            unit.cancel();
        }
        throw;
    }
    if (m_pageMemo != nullptr) {
        m_pageMemo->setPlainText(typed);
    }
}

void UnitMemoEditor::Button2Click() {
    done(QDialog::Rejected);
}

TFormstudy::TFormstudy(QWidget* parent)
    : UnitMemoEditor(QStringLiteral("简要说明及补充"), "studydirec", parent) {}

Tformadvantage::Tformadvantage(QWidget* parent)
    : UnitMemoEditor(QStringLiteral("研发优势简要说明"), "advantage", parent) {}

Tformunitintrod::Tformunitintrod(QWidget* parent)
    : UnitMemoEditor(QStringLiteral("单位简介"), "unitintrod", parent) {}
