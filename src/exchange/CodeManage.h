#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "CodeTables.h"

class QLineEdit;
class TDM;

namespace store {
class Table;
}

namespace Ui {
class TFcodeManage;
}

// "代码管理": the four classification and code tables are replaced by exchange's code-table
// update, from a code-table package or from a table file copied over the data directory's;
// this window chooses the files and tells how each update ended.
class TFcodeManage : public QDialog, private exchange::TableFileChoice {
    Q_OBJECT

public:
    // dm holds the tables it updates.
    explicit TFcodeManage(TDM& dm, QWidget* parent = nullptr);
    ~TFcodeManage() override;

    Ui::TFcodeManage* form() const { return ui.get(); }

    // From packages.
    void Button4Click();
    void Button6Click();
    void Button8Click();
    void Button10Click();
    // From table files.
    void Button2Click();
    void Button7Click();
    void Button9Click();
    void Button11Click();
    // "退出".
    void Button3Click();

private:
    void updateFromPackage(const exchange::CodeTable& code, store::Table& table, QLineEdit* edit);
    // copiedMessage tells that the file replaced the table's.
    void updateFromTableFile(const exchange::CodeTable& code, store::Table& table,
                             const char* copiedMessage);
    // The file dialog of the table files, which keeps its previous choice.
    QString chooseTableFile() override;
    // Tells how update of code ended; updated is the message of success.
    void tell(const exchange::CodeTable& code, const exchange::CodeTableUpdate& update,
              const QString& updated);
    // The message of how update of code ended; empty when there is nothing to tell.
    static QString told(const exchange::CodeTable& code, const exchange::CodeTableUpdate& update,
                        const QString& updated);

    std::unique_ptr<Ui::TFcodeManage> ui;
    TDM& m_dm;
    QString m_lastTableFile;
};

extern TFcodeManage* FcodeManage;
