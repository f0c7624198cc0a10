#include "Unittree.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <map>
#include <stdexcept>

#include "Dataset.h"
#include "Dialogs.h"
#include "UnitDM.h"
#include "ValueText.h"
#include "ui_Unittree.h"

using widgets::fieldText;

TFormTree* FormTree = nullptr;

namespace {

const QString kRootText = QStringLiteral("详细分类");

int levelOf(store::Dataset& table) {
    const QString text = fieldText(table, 0).trimmed();
    bool ok = false;
    const int level = text.toInt(&ok);
    if (!ok) {
        const auto* file = dynamic_cast<const store::Table*>(&table);
        const QString name =
            file != nullptr ? QString::fromStdString(file->tableName()) : QStringLiteral("分类表");
        throw std::runtime_error(QStringLiteral("%1 第%2行的级别“%3”不是整数，无法显示分类树！")
                                     .arg(name)
                                     .arg(table.recNo())
                                     .arg(text)
                                     .toStdString());
    }
    return level;
}

}  // namespace

TFormTree::TFormTree(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormTree>()) {
    ui->setupUi(this);
    connect(ui->Button1, &QPushButton::clicked, this, &TFormTree::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormTree::Button2Click);
}

TFormTree::~TFormTree() = default;

void TFormTree::registerTarget(std::span<const unsigned char> selector, int byte, QLineEdit* edit,
                               QString tableName) {
    for (Target& target : m_targets) {
        if (target.selector == selector.data() && target.byte == byte) {
            target.edit = edit;
            target.tableName = std::move(tableName);
            return;
        }
    }
    m_targets.push_back({selector.data(), byte, edit, std::move(tableName)});
}

size_t TFormTree::targetFor(std::span<const unsigned char> selector) const {
    for (size_t byte = 0; byte < selector.size(); ++byte) {
        if (selector[byte] == 0) {
            continue;
        }
        for (size_t i = 0; i < m_targets.size(); ++i) {
            if (m_targets[i].selector == selector.data() &&
                m_targets[i].byte == static_cast<int>(byte)) {
                return i;
            }
        }
        throw std::logic_error(
            QStringLiteral("分类选择：选择字节%1没有对应的编辑框").arg(byte).toStdString());
    }
    throw std::logic_error("分类选择：选择字节没有指明编辑框");
}

int TFormTree::showFor(std::span<const unsigned char> selector) {
    m_current = targetFor(selector);
    setResult(QDialog::Rejected);
    int result = QDialog::Rejected;
    try {
        FormShow();
        result = widgets::Dialogs::instance().exec(*this);
    } catch (...) {
        ui->TreeView1->clear();
        m_current.reset();
        throw;
    }
    m_current.reset();
    return result;
}

void TFormTree::FormShow() {
    store::Table& table = DM->Table1;
    table.close();
    table.setTableName(m_targets.at(m_current.value()).tableName.toStdString());
    table.open();
    LoadClassTree(table, ui->TreeView1);
    ui->TreeView1->setCurrentItem(ui->TreeView1->topLevelItem(0));
}

void TFormTree::LoadClassTree(store::Dataset& table, QTreeWidget* tree) {
    if (!table.active()) {
        table.open();
    }
    table.first();
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, QStringList{kRootText});
    std::map<int, QTreeWidgetItem*> lastAtLevel{{0, root}};
    try {
        for (; !table.eof(); table.next()) {
            const int level = levelOf(table);
            if (level <= 0) {
                continue;
            }
            const QStringList text{fieldText(table, 1).trimmed() + QStringLiteral("  ") +
                                   fieldText(table, 2).trimmed()};
            const auto parent = lastAtLevel.find(level - 1);
            lastAtLevel[level] = parent != lastAtLevel.end()
                                     ? new QTreeWidgetItem(parent->second, text)
                                     : new QTreeWidgetItem(tree, text);
        }
    } catch (...) {
        table.close();
        throw;
    }
    table.close();
    root->setExpanded(true);
}

void TFormTree::Button1Click() {
    QTreeWidgetItem* node = ui->TreeView1->currentItem();
    if (node != nullptr) {
        if (node->text(0) == kRootText) {
            node->setText(0, QString());
        }
        if (m_current) {
            if (QLineEdit* edit = m_targets[*m_current].edit) {
                edit->setText(node->text(0));
                edit->setCursorPosition(0);  // the code first, however long the name
            }
        }
    }
    ui->TreeView1->clear();
    accept();
}

void TFormTree::Button2Click() {
    ui->TreeView1->clear();
    QDialog::reject();
}

void TFormTree::reject() {
    Button2Click();
}
