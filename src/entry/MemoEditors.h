#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>

class QPlainTextEdit;

namespace Ui {
class TUnitMemoEditor;
}

// A small window that edits one long text of the registering unit. It opens with the text of
// the page's memo; "保存" stores its text into the unit row at once and copies it back into the
// page's memo, and the window stays open; "退出" closes it without storing.
class UnitMemoEditor : public QDialog {
    Q_OBJECT

public:
    UnitMemoEditor(const QString& caption, std::string column, QWidget* parent = nullptr);
    ~UnitMemoEditor() override;

    Ui::TUnitMemoEditor* form() const { return ui.get(); }

    // Takes the page memo's text and shows the window modally through the dialogs seam.
    int showFor(QPlainTextEdit* pageMemo);
    // "保存".
    void Button1Click();
    // "退出".
    void Button2Click();

private:
    std::unique_ptr<Ui::TUnitMemoEditor> ui;
    std::string m_column;
    QPointer<QPlainTextEdit> m_pageMemo;
};

// "简要说明及补充" (studydirec).
class TFormstudy : public UnitMemoEditor {
    Q_OBJECT

public:
    explicit TFormstudy(QWidget* parent = nullptr);
};

// "研发优势简要说明" (advantage).
class Tformadvantage : public UnitMemoEditor {
    Q_OBJECT

public:
    explicit Tformadvantage(QWidget* parent = nullptr);
};

// "单位简介" (unitintrod).
class Tformunitintrod : public UnitMemoEditor {
    Q_OBJECT

public:
    explicit Tformunitintrod(QWidget* parent = nullptr);
};

// The program's editors, created at start-up.
extern TFormstudy* Formstudy;
extern Tformadvantage* formadvantage;
extern Tformunitintrod* formunitintrod;
