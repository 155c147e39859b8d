#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordertabledata.h"
#include "cbatchordertablemodel.h"

#include "common/ctestmanager.h"
#include "ui/cstandardhpftable.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <thread>

using namespace TC;

namespace {

class TableTest : public ::testing::Test
{
protected:
    QString lastConsoleLine() const
    {
        const auto messages = m_pManager->getConsoleModel()->getAllMsgs();
        return messages.empty() ? QString() : messages.back()->getMsg().mid(12);
    }

    CTestManager m_setup;
    CTestHost* m_pHost = &m_setup.host();
    CBatchOrderManager* m_pManager = m_setup.manager();
};

struct RowCase
{
    const char* szName;
    const char* szLine;
    // The 11 display texts; null: not checked by this row.
    std::vector<const char*> cells;
};

class RowBuilding : public TableTest, public ::testing::WithParamInterface<RowCase>
{
};

const char* const _ = nullptr;

} // namespace

TEST_P(RowBuilding, CellsShowTheInstruction)
{
    const CBatchOrderData data(QString::fromUtf8(GetParam().szLine));
    const auto pRow = CBatchOrderTableData::build(data);
    ASSERT_NE(pRow, nullptr);
    ASSERT_EQ(GetParam().cells.size(), 11u);
    for (int nColumn = 0; nColumn < 11; ++nColumn) {
        if (const char* szExpected = GetParam().cells[static_cast<size_t>(nColumn)]) {
            EXPECT_EQ(pRow->getDisplayQString(nColumn).toStdString(), szExpected) << "column " << nColumn;
        }
    }
    EXPECT_EQ(pRow->qsKey(), CBatchOrderTableData::makeQsKey(data.m_nSeq));
}

// Columns: market, code, name, operation, price type, quantity, price, account, algorithm, remark, remark 1.
INSTANTIATE_TEST_SUITE_P(
    Lines, RowBuilding,
    ::testing::Values(
        RowCase{
            "PlainOrder",
            "23,0,10.5,600000,100,8880000001,2,2,策略,备注",
            {"SH", "600000", "浦发银行", "买入", "指定价", "100", "10.500", "8880000001", "", "备注", ""}},
        RowCase{"CreditAccountTradeType",
                "23,0,10.5,600000,100,8880000003,3,11",
                {_, _, _, "担保品买入", _, _, _, "8880000003", _, _, _}},
        RowCase{"PriceType9003IsTheAlgorithmProvider",
                "23,9003,10.5,600000,100,8880000001,2,2",
                {_, _, _, _, "无效报价", _, _, _, "第三方算法", _, _}},
        RowCase{"AlgorithmSetting",
                "23,2004,10.5,600000,100,8880000001,2,2",
                {_, _, _, _, "最新价", _, _, _, "跟量", _, _}},
        RowCase{"CodeKnownOnShenzhenOnly",
                "23,0,10,000001,100,8880000001,2,2",
                {"SZ", "000001", "平安银行", _, _, _, _, _, _, _, _}},
        RowCase{"LowerCaseMarketPrefix",
                "23,0,10,sh600000,100,8880000001,2,2",
                {"SH", "600000", "浦发银行", _, _, _, _, _, _, _, _}},
        RowCase{"CrossMarketEtfStaysUnresolved",
                "23,0,10,510300,100,8880000001,2,2",
                {"", "", "", _, "指定价", _, _, _, _, _, _}},
        RowCase{"CombinationShowsWholeCodeAndFirstMarket",
                "138,0,1,SH600000/SZ000001,100,8880000001,2,2",
                {"SH", "SH600000/SZ000001", "-", _, _, _, _, _, _, _, _}},
        RowCase{"CashOperationShowsCodeAsWritten",
                "502,0,100,600000,100,8880000001,2,2",
                {"", "600000", "", _, "人民币", "100", _, _, _, _, _}},
        RowCase{"CancelShowsItsTextsAsWritten",
                "cancel_order,8880000001,123456,,,,2,2",
                {"", "", "", "cancel_order", "8880000001", "", "123456", _, "", _, _}},
        RowCase{
            "TaskShowsItsTextsAsWritten", "209,任务参数", {_, _, _, "209", "任务参数", "", "", _, "", _, _}},
        RowCase{"PriceThatIsNoNumberIsZero",
                "23,0,abc,600000,100,8880000001,2,2",
                {_, _, _, _, _, _, "0.000", _, _, _, _}},
        RowCase{"PriceTheFormatterRejects",
                "23,0,inf,600000,100,8880000001,2,2",
                {_, _, _, _, _, _, "非法值", _, _, _, _}},
        RowCase{"UnknownAccountIsEmpty",
                "23,0,1,600000,100,9999999999,2,2",
                {_, _, _, _, _, _, _, "", _, _, _}},
        RowCase{"MissingVolumeIsNotAHugeNumber", "23,0,10.5,600000", {_, _, _, _, _, "-1", _, _, _, _, _}}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return info.param.szName; });

TEST_F(TableTest, EmptyPriceTypeGivesNoRowAndAConsoleError)
{
    EXPECT_EQ(
        CBatchOrderTableData::build(CBatchOrderData(QStringLiteral("23,,10.5,600000,100,8880000001,2,2"))),
        nullptr);
    EXPECT_EQ(lastConsoleLine(), QStringLiteral(" [error] [参数错误] 报价方式为空!!"));
}

TEST_F(TableTest, AlgorithmSettingReplacesThePriceTypeAndFollowsSavedChanges)
{
    QString strError;
    ASSERT_TRUE(m_pHost->userConfig().setDbfAlgoParams(
        {CDbfAlgoParam{QStringLiteral("2001"), QStringLiteral("时间加权"), 24, ttservice::PRTP_MARKET}},
        strError));
    const auto pRow = CBatchOrderTableData::build(
        CBatchOrderData(QStringLiteral("23,2001,10.5,600000,100,8880000001,2,2")));
    ASSERT_NE(pRow, nullptr);
    EXPECT_EQ(pRow->getDisplayQString(4), QStringLiteral("市价"))
        << "the setting's price type, not the DBF table's";
    EXPECT_EQ(pRow->getDisplayQString(8), QStringLiteral("时间加权"));
    EXPECT_EQ(pRow->getInt(8), 24);
}

TEST(TableRowKey, RightAlignedInEightCharacters)
{
    const std::pair<int32_t, const char*> rows[] = {
        {7, "       7"}, {0, "       0"}, {12345678, "12345678"}, {123456789, "123456789"}, {-1, "      -1"}};
    for (const auto& row : rows) {
        CBatchOrderTableData data;
        data.m_nSeq = row.first;
        EXPECT_EQ(data.key(), row.second);
        EXPECT_EQ(data.qsKey(), QString::fromLatin1(row.second));
    }
}

TEST(TableModel, ElevenColumnsWithNamesAndValueTypes)
{
    const CBatchOrderTableModel model;
    QStringList names;
    QList<int> types;
    for (int nColumn = -1; nColumn <= model.columnCount(); ++nColumn) {
        names << model.columnName(nColumn);
        types << model.columnType(nColumn);
    }
    EXPECT_EQ(names.join(QLatin1Char('|')),
              QStringLiteral("|证券市场|合约代码|合约名称|操作类型|价格类型|委托数量|委托价格|账号|算法类型|"
                             "投资备注|投资备注1|"));
    EXPECT_EQ(types, (QList<int>{0, 10, 10, 10, 2, 2, 4, 6, 10, 2, 10, 10, 0}));
}

// Rows are built and added on one thread (the announcing one) while another changes the records'
// status and the GUI thread refreshes and reads the table.
TEST_F(TableTest, RowsBuiltOnAnotherThreadAreReadOnTheGuiThread)
{
    std::vector<boost::shared_ptr<CBatchOrderData>> records;
    for (int i = 0; i < 500; ++i) {
        records.push_back(boost::make_shared<CBatchOrderData>(
            QStringLiteral("23,0,10.5,600000,%1,8880000001,2,2").arg(i + 1)));
    }
    CBatchOrderTableModel model;
    WQ::CStandardHpfTable table(12, nullptr, WQ::CStandardHpfTable::MENU_ALL);
    table.setDataModel(&model);
    std::atomic<bool> bDone{false};
    std::thread dispatcher([&] {
        for (auto& pRecord : records) {
            pRecord->m_nStatus = 1;
        }
    });
    std::thread announcer([&] {
        for (const auto& pRecord : records) {
            model.addData(CBatchOrderTableData::build(*pRecord));
        }
        bDone = true;
    });
    int nCellsRead = 0;
    while (!bDone || model.updated()) {
        if (model.updated()) {
            model.setUpdated(false);
            table.updateTable();
            for (int nRow = 0; nRow < table.rowCount(); ++nRow) {
                nCellsRead += table.cellText(nRow, 5).isEmpty() ? 0 : 1;
            }
        }
    }
    dispatcher.join();
    announcer.join();
    table.updateTable();
    EXPECT_EQ(table.rowCount(), 500);
    EXPECT_GT(nCellsRead, 0);
}
