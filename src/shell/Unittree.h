#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ClassPicker.h"

class QLineEdit;
class QTreeWidget;

namespace store {
class Dataset;
}

namespace Ui {
class TFormTree;
}

// The classification picker: shows a classification table (levels, codes, names in tree
// pre-order) as a tree and writes the chosen node, "code  name", into the edit that asked.
class TFormTree : public QDialog, public widgets::ClassPicker {
    Q_OBJECT

public:
    explicit TFormTree(QWidget* parent = nullptr);
    ~TFormTree() override;

    void registerTarget(std::span<const unsigned char> selector, int byte, QLineEdit* edit,
                        QString tableName) override;
    // No other selector than the caller's is looked at.
    int showFor(std::span<const unsigned char> selector) override;

    // Loads the current target's table into the tree and selects the root.
    void FormShow();
    // "确认": writes the chosen node's text into the target (the root empties it).
    void Button1Click();
    // "取消": closes without touching the target.
    void Button2Click();

    // Builds the tree of table under a root "详细分类": each row of level n >= 1 goes under the
    // last node placed at level n - 1 (beside the root when there is none), rows of level 0
    // or less are left out. Closes the table, also when a level is not a number.
    static void LoadClassTree(store::Dataset& table, QTreeWidget* tree);

    void reject() override;

private:
    struct Target {
        const unsigned char* selector;
        int byte;
        QPointer<QLineEdit> edit;
        QString tableName;
    };
    size_t targetFor(std::span<const unsigned char> selector) const;

    std::unique_ptr<Ui::TFormTree> ui;
    std::vector<Target> m_targets;
    std::optional<size_t> m_current;
};

// The program's picker, created at start-up.
extern TFormTree* FormTree;
