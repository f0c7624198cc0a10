#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

class QLineEdit;

namespace store {
class Table;
}

namespace Ui {
class TFcodeManage;
}

// "代码管理": replaces the rows of the four classification and code tables, either from a
// code-table package (an archive holding one exchange text file) or by a table file copied
// over the data directory's.
class TFcodeManage : public QDialog {
    Q_OBJECT

public:
    // One of the four tables and the names that go with it.
    struct CodeTable {
        const char* packageName;    // "DFJHXX.ARJ"
        const char* textFile;       // "DFJHXX.TXT"
        const char* tableFile;      // "DFJHZDXX.DBF"
        const char* copiedMessage;  // "更新“课题来源”下级菜单成功!"
        // The fields that the program reads, in the order the tree picker relies on: a table
        // file must begin with them, as text fields.
        std::vector<const char*> columns;
    };
    static const CodeTable Dfjhzdxx;
    static const CodeTable Ztflh;
    static const CodeTable Xkfl;
    static const CodeTable Lsbw;

    explicit TFcodeManage(QWidget* parent = nullptr);
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
    void updateFromPackage(const CodeTable& code, store::Table& table, QLineEdit* edit);
    void updateFromTableFile(const CodeTable& code, store::Table& table);
    void warn(const QString& text);
    // Tells the user that file cannot be used and nothing changed.
    void refuse(const std::string& detail);

    std::unique_ptr<Ui::TFcodeManage> ui;
    QString m_lastTableFile;  // the file dialog keeps its previous choice
};

extern TFcodeManage* FcodeManage;
