#include "ui/cstandardhpftable.h"
#include "ui/ibasehpftablemodel.h"

#include "common/waituntil.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <functional>
#include <random>
#include <thread>

using namespace WQ;

namespace {

// Columns: 0 text (String), 1 integer (Int), 2 long (LongLong), 3 price (Double, shown as written).
class CTestRow : public IBaseHpfTableData
{
public:
    CTestRow(std::string strKey, QString strText, int nInt, long long llLong, QString strPrice)
        : m_strKey(std::move(strKey)), m_strText(std::move(strText)), m_nInt(nInt), m_llLong(llLong),
          m_strPrice(std::move(strPrice))
    {
    }
    QString getDisplayQString(int nColumn) const override
    {
        return nColumn == 1   ? QString::number(m_nInt)
               : nColumn == 2 ? QString::number(m_llLong)
               : nColumn == 3 ? m_strPrice
                              : getQString(nColumn);
    }
    QString getQString(int nColumn) const override { return nColumn == 0 ? m_strText : QString(); }
    int getInt(int nColumn) const override { return nColumn == 1 ? m_nInt : INT_MAX; }
    double getDouble(int) const override { return DBL_MAX; }
    long long getLonglong(int nColumn) const override { return nColumn == 2 ? m_llLong : LLONG_MAX; }
    const QColor* getTextColor(int) const override { return nullptr; }
    std::string key() const override { return m_strKey; }

    std::string m_strKey;
    QString m_strText;
    int m_nInt;
    long long m_llLong;
    QString m_strPrice;
};

class CTestModel : public IBaseHpfTableModel
{
public:
    explicit CTestModel(bool bReplace = true) : IBaseHpfTableModel(bReplace) {}
    int columnCount() const override { return 4; }
    QString columnName(int nColumn) const override
    {
        static const char* const s_names[] = {"文本", "整数", "长整数", "价格"};
        return nColumn >= 0 && nColumn < 4 ? QString::fromUtf8(s_names[nColumn]) : QString();
    }
    int columnType(int nColumn) const override
    {
        static const int s_types[] = {QVariant::String, QVariant::Int, QVariant::LongLong, QVariant::Double};
        return nColumn >= 0 && nColumn < 4 ? s_types[nColumn] : 0;
    }
};

boost::shared_ptr<CTestRow> row(const std::string& strKey, const char* szText, int nInt, long long llLong,
                                const char* szPrice)
{
    return boost::make_shared<CTestRow>(strKey, QString::fromUtf8(szText), nInt, llLong,
                                        QString::fromUtf8(szPrice));
}

class HpfTableTest : public ::testing::Test
{
protected:
    HpfTableTest() : m_table(12, nullptr, CStandardHpfTable::MENU_ALL) { m_table.setDataModel(&m_model); }

    // The keys of the rows in the order shown.
    std::vector<std::string> keys() const
    {
        std::vector<std::string> result;
        for (int nRow = 0; nRow < m_table.rowCount(); ++nRow)
            result.push_back(m_table.cellText(nRow, 0).toStdString());
        return result;
    }

    CTestModel m_model;
    CStandardHpfTable m_table;
};

} // namespace

// The flag the panel's tick polls, and the model that keeps the first row of a key (replacement, removal and
// display are proven by the randomised refresh below).
TEST(HpfTableModel, OnlyAChangeSetsTheUpdatedFlag)
{
    auto pA = row("a", "a", 1, 1, "1");
    auto pA2 = row("a", "a2", 2, 2, "2");
    CTestModel model;
    CTestModel keepFirst(false);
    // Model, change, whether it sets the flag.
    const std::tuple<CTestModel*, std::function<void()>, bool> rows[] = {
        {&model, [&] { model.addData(pA); }, true},
        {&model, [&] { model.addData(pA2); }, true},
        {&model, [&] { model.removeData(pA2); }, true},
        {&model, [&] { model.removeDataByKey("absent"); }, false},
        {&keepFirst, [&] { keepFirst.addData(pA); }, true},
        {&keepFirst, [&] { keepFirst.addData(pA2); }, false},
    };
    for (size_t nRow = 0; nRow < std::size(rows); ++nRow) {
        const auto& [pModel, change, bUpdated] = rows[nRow];
        pModel->setUpdated(false);
        change();
        EXPECT_EQ(pModel->updated(), bUpdated) << "row " << nRow;
    }
    EXPECT_EQ(model.getDataByKey(QStringLiteral("a")), nullptr);
    EXPECT_EQ(keepFirst.getDataByKey(QStringLiteral("a")), pA);
}

struct SortRow
{
    const char* szName;
    int nColumn;
    Qt::SortOrder eOrder;
    std::vector<std::string> expected; // by the text column, which holds the key here
};

class HpfTableSort : public HpfTableTest, public ::testing::WithParamInterface<SortRow>
{
};

// Rows w, x, y, z arrive in that order. Ties keep the order of arrival in both directions. Rows arriving
// later are placed by the same comparison, proven by the randomised refresh below.
TEST_P(HpfTableSort, SortsByTheColumnsValueType)
{
    struct
    {
        const char* szKey;
        int nInt;
        long long llLong;
        const char* szPrice;
    } const rows[] = {
        {"w", 10, 300, "9.5"}, {"x", 9, 20, "10.25"}, {"y", 100, 100, "abc"}, {"z", 10, 20, "10.25"}};
    for (const auto& r : rows)
        m_model.addData(row(r.szKey, r.szKey, r.nInt, r.llLong, r.szPrice));
    m_table.updateTable();
    m_table.sortByColumn(GetParam().nColumn, GetParam().eOrder);
    EXPECT_EQ(keys(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, HpfTableSort,
    ::testing::Values(SortRow{"ArrivalOrder", -1, Qt::AscendingOrder, {"w", "x", "y", "z"}},
                      SortRow{"TextAscending", 0, Qt::AscendingOrder, {"w", "x", "y", "z"}},
                      SortRow{"TextDescending", 0, Qt::DescendingOrder, {"z", "y", "x", "w"}},
                      SortRow{"IntAsNumbersNotText", 1, Qt::AscendingOrder, {"x", "w", "z", "y"}},
                      SortRow{"IntDescendingTiesKeepArrival", 1, Qt::DescendingOrder, {"y", "w", "z", "x"}},
                      SortRow{"LongLongAscending", 2, Qt::AscendingOrder, {"x", "z", "y", "w"}},
                      SortRow{
                          "DoubleWithoutValueByShownNumber", 3, Qt::AscendingOrder, {"w", "x", "z", "y"}}),
    [](const ::testing::TestParamInfo<SortRow>& info) { return info.param.szName; });

TEST_F(HpfTableTest, HeaderClickSortsAndSecondClickReverses)
{
    for (int i : {3, 1, 2})
        m_model.addData(row(std::to_string(i), std::to_string(i).c_str(), i, i, "0"));
    m_table.updateTable();
    m_table.show();
    QHeaderView* pHeader = m_table.view()->horizontalHeader();
    emit pHeader->sectionClicked(1);
    EXPECT_EQ(keys(), (std::vector<std::string>{"1", "2", "3"}));
    emit pHeader->sectionClicked(1);
    EXPECT_EQ(keys(), (std::vector<std::string>{"3", "2", "1"}));
}

TEST_F(HpfTableTest, ColumnListOffersOnlyListedColumnsAndShowsAndHidesThem)
{
    m_table.setColumnVisible(2, false);
    m_table.setColListVisible(2, false); // hidden and not offered: the user cannot bring it back
    m_table.setColumnVisible(3, false);  // hidden but offered
    std::unique_ptr<QMenu> pMenu(m_table.createColumnListMenu(nullptr));
    QStringList offered;
    QAction* pPrice = nullptr;
    for (QAction* pAction : pMenu->actions()) {
        if (pAction->isCheckable()) {
            offered << pAction->text();
            pPrice = pAction->data().toInt() == 3 ? pAction : pPrice;
        }
    }
    EXPECT_EQ(offered, (QStringList{QStringLiteral("文本"), QStringLiteral("整数"), QStringLiteral("价格")}));
    ASSERT_NE(pPrice, nullptr);
    EXPECT_FALSE(pPrice->isChecked());
    pPrice->toggle();
    EXPECT_TRUE(m_table.isColumnVisible(3));
    EXPECT_FALSE(m_table.isColumnVisible(2));

    // The last visible column cannot be hidden from the list.
    m_table.setColumnVisible(0, false);
    m_table.setColumnVisible(3, false);
    pMenu.reset(m_table.createColumnListMenu(nullptr));
    for (QAction* pAction : pMenu->actions()) {
        if (pAction->isCheckable()) {
            EXPECT_EQ(pAction->isEnabled(), pAction->data().toInt() != 1) << pAction->text().toStdString();
        }
    }
}

TEST(HpfTableLifetime, ModelDestroyedBeforeTheTableLeavesItEmpty)
{
    auto pModel = std::make_unique<CTestModel>();
    auto pTable = std::make_unique<CStandardHpfTable>(12, nullptr, CStandardHpfTable::MENU_ALL);
    pTable->setDataModel(pModel.get());
    pModel->addData(row("a", "a", 1, 1, "1"));
    pTable->updateTable();
    pTable->show();
    pModel.reset();
    pTable->updateTable();
    EXPECT_EQ(pTable->rowCount(), 0);
    EXPECT_EQ(pTable->dataModel(), nullptr);
    pTable.reset(); // hiding and destroying must not reach the model
}

TEST_F(HpfTableTest, SelectionFollowsItsRowThroughRemovals)
{
    for (const char* szKey : {"a", "b", "c"})
        m_model.addData(row(szKey, szKey, 1, 1, "1"));
    m_table.updateTable();
    m_table.view()->selectRow(2);
    m_model.removeDataByKey("a");
    m_table.updateTable();
    const QModelIndexList selected = m_table.view()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(m_table.cellText(selected.first().row(), 0), QStringLiteral("c"));
}

// Random batches of additions, replacements and removals, and a clear: after every refresh the table shows
// exactly the model's rows, in arrival order or sorted, and told the view with a single signal.
TEST_F(HpfTableTest, IncrementalRefreshMatchesTheModelWithOneSignal)
{
    QAbstractItemModel* pView = m_table.view()->model();
    int nSignals = 0;
    const auto count = [&nSignals] { ++nSignals; };
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        QObject::connect(pView, signal, count);
    QObject::connect(pView, &QAbstractItemModel::dataChanged, count);
    QObject::connect(pView, &QAbstractItemModel::layoutChanged, count);
    QObject::connect(pView, &QAbstractItemModel::modelReset, count);

    std::mt19937 random(7);
    std::vector<std::pair<std::string, int>> expected; // key and integer value, in arrival order
    int nNextKey = 0;
    for (int nBatch = 0; nBatch < 60; ++nBatch) {
        if (nBatch == 30)
            m_table.sortByColumn(1, Qt::DescendingOrder);
        if (nBatch == 45) { // clear empties model and view at once
            m_table.clear();
            expected.clear();
            ASSERT_EQ(m_table.rowCount() + m_model.rowCount(), 0);
        }
        const int nOps = 1 + static_cast<int>(random() % 20);
        for (int nOp = 0; nOp < nOps; ++nOp) {
            const unsigned nKind = random() % 4;
            if (nKind <= 1 || expected.empty()) {
                const std::string strKey = std::to_string(nNextKey++);
                const int nValue = static_cast<int>(random() % 10);
                m_model.addData(row(strKey, strKey.c_str(), nValue, 0, "0"));
                expected.emplace_back(strKey, nValue);
            } else {
                const size_t nIndex = random() % expected.size();
                if (nKind == 2) {
                    m_model.removeDataByKey(expected[nIndex].first);
                    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(nIndex));
                } else {
                    const int nValue = static_cast<int>(random() % 10);
                    const std::string& strKey = expected[nIndex].first;
                    m_model.addData(row(strKey, strKey.c_str(), nValue, 0, "0"));
                    expected[nIndex].second = nValue;
                }
            }
        }
        nSignals = 0;
        m_table.updateTable();
        std::vector<std::pair<std::string, int>> order = expected;
        if (nBatch >= 30)
            std::stable_sort(order.begin(), order.end(),
                             [](const auto& left, const auto& right) { return left.second > right.second; });
        std::vector<std::string> expectedKeys;
        for (const auto& entry : order)
            expectedKeys.push_back(entry.first);
        ASSERT_EQ(keys(), expectedKeys) << "batch " << nBatch;
        EXPECT_LE(nSignals, 1) << "batch " << nBatch;
    }
}

// The model is written on one thread while the GUI thread refreshes the table from it.
TEST_F(HpfTableTest, WriterThreadAndRefreshingTableShareTheModel)
{
    std::atomic<bool> bDone{false};
    std::thread writer([this, &bDone] {
        for (int i = 0; i < 3000; ++i) {
            m_model.addData(row(std::to_string(i), "w", i, i, "1"));
            if (i % 3 == 0)
                m_model.removeDataByKey(std::to_string(i / 2));
        }
        bDone = true;
    });
    while (!bDone) {
        if (m_model.updated()) {
            m_model.setUpdated(false);
            m_table.updateTable();
        }
    }
    writer.join();
    m_table.updateTable();
    ASSERT_EQ(m_table.rowCount(), m_model.rowCount());
    for (int nRow = 0; nRow < m_table.rowCount(); ++nRow) {
        const QString strKey = QString::number(m_table.cellText(nRow, 1).toInt());
        EXPECT_NE(m_model.getDataByKey(strKey), nullptr) << strKey.toStdString();
    }
}
