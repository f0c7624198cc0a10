// The grid model over a dataset: rows, columns, lookup texts, signals and the current row.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QSignalSpy>
#include <QTableView>
#include <memory>
#include <string>

#include "Database.h"
#include "Dataset.h"
#include "DatasetModel.h"
#include "TableFixture.h"

namespace {

using widgets::DatasetModel;
using widgets::GridColumn;

const QColor kMaroon(128, 0, 0);

GridColumn column(const char* field, const char* title, int width) {
    GridColumn c;
    c.field = QString::fromUtf8(field);
    c.title = QString::fromUtf8(title);
    c.width = width;
    return c;
}

std::vector<GridColumn> personColumns() {
    GridColumn name = column("ITEM_191", "姓名", 80);
    name.titleAlignment = Qt::AlignCenter;
    name.titleColor = kMaroon;
    GridColumn sex = column("V_181", "性别", 36);
    sex.alignment = Qt::AlignRight | Qt::AlignVCenter;
    return {column("ITEM_190", "序号", 40), name, sex};
}

// Collects the model tester's complaints.
class TesterMessages {
public:
    TesterMessages() {
        messages().clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { messages() << text; });
    }
    ~TesterMessages() { qInstallMessageHandler(m_previous); }
    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    QtMessageHandler m_previous;
};

class DatasetModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        tables.write("persons",
                     "ITEM_4 C(10)\tITEM_190 N(3,0)\tITEM_191 C(20)\tITEM_181 C(2)\n"
                     "2004000001\t1\t张三\t1\n"
                     "2004000001\t2\t李四\t2\n"
                     "2004000002\t1\t王五\t\n"
                     "2004000002\t2\t赵六\t9\n"
                     "2004000002\t3\t钱七\t1\n");
        tables.write("zdxx",
                     "zddm C(20)\txxdm C(6)\txxmc C(60)\n"
                     "item_181\t1\t男\n"
                     "item_181\t2\t女\n"
                     "item_183\t1\t博士\n");
        db = std::make_unique<store::Database>(tables.data());
        persons = std::make_unique<store::Table>(*db, "persons");
        sexes = std::make_unique<store::Table>(*db, "zdxx");
        sexes->setFilter("zddm='item_181'");
        persons->addLookupField({"V_181", "ITEM_181", sexes.get()});
        sexes->open();
        persons->open();
        model.setColumns(personColumns(), DatasetModel::OtherFields::Hidden);
        model.setDataset(persons.get());
    }

    QString text(int row, int column) const {
        return model.data(model.index(row, column)).toString();
    }

    testsupport::TableFolder tables;
    std::unique_ptr<store::Database> db;
    std::unique_ptr<store::Table> persons;
    std::unique_ptr<store::Table> sexes;
    DatasetModel model;
};

TEST_F(DatasetModelTest, ShowsTheColumnTableThenTheOtherFieldsHidden) {
    ASSERT_EQ(model.rowCount(), 5);
    ASSERT_EQ(model.columnCount(), 5);
    const auto& columns = model.columns();
    EXPECT_EQ(columns[3].field, QStringLiteral("ITEM_4"));
    EXPECT_FALSE(columns[3].visible);
    EXPECT_EQ(columns[4].field, QStringLiteral("ITEM_181"));
    EXPECT_FALSE(columns[4].visible);
    EXPECT_TRUE(columns[0].visible);

    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("姓名"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignCenter));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
              kMaroon);
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::ForegroundRole).isValid());
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("ITEM_4"));
    EXPECT_EQ(model.data(model.index(0, 2), Qt::TextAlignmentRole).toInt(),
              static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);
}

TEST_F(DatasetModelTest, LookupColumnsShowTheOptionText) {
    EXPECT_EQ(text(0, 1), QStringLiteral("张三"));
    EXPECT_EQ(text(0, 0), QStringLiteral("1"));
    EXPECT_EQ(text(0, 2), QStringLiteral("男"));
    EXPECT_EQ(text(1, 2), QStringLiteral("女"));
    EXPECT_EQ(text(2, 2), QString());  // no code
    EXPECT_EQ(text(3, 2), QString());  // a code without an option
    EXPECT_EQ(text(3, 4), QStringLiteral("9"));

    // A changed option text reaches the grid.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(sexes->locate("xxdm", store::Value("1")));
    sexes->edit();
    sexes->field("xxmc").set(store::Value("男性"));
    sexes->post();
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(text(4, 2), QStringLiteral("男性"));
}

TEST_F(DatasetModelTest, WithoutAColumnTableEveryFieldIsAColumn) {
    DatasetModel plain;
    plain.setDataset(persons.get());
    ASSERT_EQ(plain.columnCount(), 5);
    EXPECT_EQ(plain.headerData(0, Qt::Horizontal).toString(), QStringLiteral("ITEM_4"));
    EXPECT_EQ(plain.headerData(4, Qt::Horizontal).toString(), QStringLiteral("V_181"));
    EXPECT_EQ(plain.data(plain.index(1, 4)).toString(), QStringLiteral("女"));
}

TEST_F(DatasetModelTest, PassesTheModelTesterThroughEveryKindOfChange) {
    TesterMessages messages;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    persons->setRecNo(3);
    persons->edit();
    persons->field("ITEM_191").set(store::Value("王五五"));
    persons->post();
    persons->append();
    persons->field("ITEM_191").set(store::Value("孙八"));
    persons->post();
    persons->deleteRecord();
    persons->setFilter("ITEM_4='2004000002'");
    persons->refresh();
    model.setDataset(nullptr);
    model.setDataset(persons.get());
    persons->close();
    persons->open();
    EXPECT_EQ(messages.messages(), QStringList());
}

TEST_F(DatasetModelTest, DatasetResetResetsTheModel) {
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    persons->setFilter("ITEM_4='2004000001'");
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 2);
    persons->close();
    EXPECT_EQ(reset.count(), 2);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(DatasetModelTest, PostedRowIsRepaintedAlone) {
    EXPECT_EQ(text(2, 1), QStringLiteral("王五"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    persons->setRecNo(3);
    persons->edit();
    persons->field("ITEM_191").set(store::Value("王五五"));
    persons->post();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 2);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 2);
    EXPECT_EQ(changed[0][1].toModelIndex().column(), model.columnCount() - 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(text(2, 1), QStringLiteral("王五五"));
}

TEST_F(DatasetModelTest, CurrentRowIsTheCursor) {
    QSignalSpy moved(&model, &DatasetModel::currentRowChanged);
    persons->setRecNo(4);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][0].toInt(), 3);
    EXPECT_EQ(model.currentRow(), 3);
    model.setCurrentRow(1);
    EXPECT_EQ(persons->recNo(), 2);
}

TEST_F(DatasetModelTest, ReadingRowsLeavesTheCursorAndOtherGridsAlone) {
    DatasetModel other;
    other.setDataset(persons.get());
    QSignalSpy otherReset(&other, &QAbstractItemModel::modelReset);
    QSignalSpy moved(&model, &DatasetModel::currentRowChanged);
    persons->last();
    persons->next();  // past the end
    moved.clear();
    ASSERT_TRUE(persons->eof());

    EXPECT_EQ(text(0, 1), QStringLiteral("张三"));
    EXPECT_EQ(text(3, 1), QStringLiteral("赵六"));
    EXPECT_EQ(other.data(other.index(1, 2)).toString(), QStringLiteral("李四"));

    EXPECT_EQ(persons->recNo(), 5);
    EXPECT_TRUE(persons->eof());
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(otherReset.count(), 0);

    persons->first();
    ASSERT_TRUE(persons->bof());
    other.setDataset(nullptr);
    other.setDataset(persons.get());  // nothing read yet
    EXPECT_EQ(other.data(other.index(4, 2)).toString(), QStringLiteral("钱七"));
    EXPECT_TRUE(persons->bof());
    EXPECT_EQ(persons->recNo(), 1);
}

TEST_F(DatasetModelTest, RowsAreReadDuringAnEditWithoutPostingIt) {
    persons->setRecNo(2);
    persons->edit();
    persons->field("ITEM_191").set(store::Value("改名"));
    DatasetModel other;
    other.setDataset(persons.get());
    // Without a column table the name is the third column.
    EXPECT_EQ(other.data(other.index(4, 2)).toString(), QStringLiteral("钱七"));
    EXPECT_EQ(other.data(other.index(1, 2)).toString(), QStringLiteral("李四"));  // stored
    EXPECT_EQ(persons->state(), store::Dataset::State::Edit);  // nothing was posted

    QSignalSpy changed(&other, &QAbstractItemModel::dataChanged);
    persons->post();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(other.data(other.index(1, 2)).toString(), QStringLiteral("改名"));
}

TEST_F(DatasetModelTest, DetachedModelShowsNothingUntilAttachedAgain) {
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setDataset(nullptr);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    // The bulk loop: renumber every row, as the list does.
    int number = 10;
    for (persons->first(); !persons->eof(); persons->next()) {
        persons->edit();
        persons->field("ITEM_190").set(store::Value(number++));
        persons->post();
    }
    EXPECT_EQ(reset.count(), 1);
    model.setDataset(persons.get());
    EXPECT_EQ(reset.count(), 2);
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(text(4, 0), QStringLiteral("14"));
}

TEST_F(DatasetModelTest, ReadsEveryRowOfALongTable) {
    std::string rows = "ITEM_190 N(5,0)\tITEM_191 C(20)\n";
    const int count = DatasetModel::kBlockRows * (static_cast<int>(DatasetModel::kMaxBlocks) + 3);
    for (int i = 0; i < count; ++i) {
        rows += std::to_string(i) + "\tname" + std::to_string(i) + "\n";
    }
    tables.write("long", rows);
    store::Table table(*db, "long");
    table.open();
    table.setRecNo(7);
    DatasetModel plain;
    plain.setDataset(&table);
    ASSERT_EQ(plain.rowCount(), count);
    for (int row : {0, count - 1, DatasetModel::kBlockRows, 1, count / 2}) {
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_EQ(plain.data(plain.index(row, 1)).toString(),
                      QStringLiteral("name%1").arg(row));
        }
    }
    for (int row = 0; row < count; row += 7) {
        ASSERT_EQ(plain.data(plain.index(row, 0)).toString(), QString::number(row));
    }
    EXPECT_EQ(plain.data(plain.index(3, 0)).toString(), QStringLiteral("3"));
    EXPECT_EQ(table.recNo(), 7);
}

TEST_F(DatasetModelTest, ViewHidesColumnsAndFollowsTheCursor) {
    QTableView view;
    widgets::showDataset(view, model);
    for (int column : {3, 4}) {
        EXPECT_TRUE(view.isColumnHidden(column));
    }
    EXPECT_FALSE(view.isColumnHidden(1));
    EXPECT_EQ(view.columnWidth(0), 40);
    EXPECT_EQ(view.columnWidth(1), 80);
    EXPECT_EQ(view.currentIndex().row(), 0);

    persons->setRecNo(3);
    EXPECT_EQ(view.currentIndex().row(), 2);
    view.setCurrentIndex(model.index(4, 1));
    EXPECT_EQ(persons->recNo(), 5);

    // A reset keeps the column table on the view and the current row on the cursor.
    persons->refresh();
    EXPECT_TRUE(view.isColumnHidden(3));
    EXPECT_EQ(view.columnWidth(1), 80);
    EXPECT_EQ(view.currentIndex().row(), 4);
}

}  // namespace
