#include "cbatchordermessagemodel.h"

#include "common/clogcapture.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <map>
#include <thread>

using namespace TC;

namespace {

std::vector<QString> lines(const CBatchOrderMessageModel& model)
{
    std::vector<QString> result;
    for (const auto& pMsg : model.getAllMsgs())
        result.push_back(pMsg->getMsg());
    return result;
}

} // namespace

struct LevelRow
{
    int nLevel;
    const char* szText;
    const char* szExpectedTail; // the line after the time stamp
};

class MessageLineFormat : public ::testing::TestWithParam<LevelRow>
{
};

TEST_P(MessageLineFormat, TimeStampThenTagThenText)
{
    const LevelRow& row = GetParam();
    CBatchOrderMessageData data;
    data.setMsg(static_cast<EBatchOrderMsgLevel>(row.nLevel), QString::fromUtf8(row.szText));
    const QString strLine = data.getMsg();
    const QRegularExpression stamp(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d\\.\\d{3}"));
    ASSERT_TRUE(stamp.match(strLine).hasMatch()) << strLine.toStdString();
    EXPECT_EQ(strLine.mid(12).toStdString(), row.szExpectedTail);
    EXPECT_EQ(static_cast<int>(data.getLevel()), row.nLevel);
}

INSTANTIATE_TEST_SUITE_P(Levels, MessageLineFormat,
                         ::testing::Values(LevelRow{1, "start!", " [system] start!"},
                                           LevelRow{2, "user batch order !", " [order] user batch order !"},
                                           LevelRow{4, "参数非法(x)!", " [error] 参数非法(x)!"},
                                           LevelRow{8, "careful", " [warning] careful"},
                                           LevelRow{4, "", " [error] "},
                                           LevelRow{3, "two bits", " two bits"},
                                           LevelRow{16, "outside", " outside"},
                                           LevelRow{0, "", " "}),
                         [](const ::testing::TestParamInfo<LevelRow>& info) {
                             return "level" + std::to_string(info.param.nLevel) + "_" + std::to_string(info.index);
                         });

TEST(MessageModel, StoresEveryReportInOrderForLateConsoles)
{
    CBatchOrderMessageModel model;
    model.updateData(MSG_LEVEL_SYSTEM, QStringLiteral("first"), false);
    model.updateData(MSG_LEVEL_ERROR, QStringLiteral("second"), false);

    // A console connecting later replays the stored history, then follows new reports.
    std::vector<QString> seen;
    for (const auto& pMsg : model.getAllMsgs())
        seen.push_back(pMsg->getMsg());
    boost::signals2::scoped_connection connection =
        model.m_sigMessage.connect([&](const boost::shared_ptr<CBatchOrderMessageData>& p) { seen.push_back(p->getMsg()); });
    model.updateData(MSG_LEVEL_ORDER, QStringLiteral("third"), false);

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen[0].endsWith(QStringLiteral(" [system] first")));
    EXPECT_TRUE(seen[1].endsWith(QStringLiteral(" [error] second")));
    EXPECT_TRUE(seen[2].endsWith(QStringLiteral(" [order] third")));
    EXPECT_EQ(lines(model), seen);
}

TEST(MessageModel, LevelsOutsideTheMaskAreStoredButNotForwarded)
{
    CBatchOrderMessageModel model;
    int nForwarded = 0;
    boost::signals2::scoped_connection connection =
        model.m_sigMessage.connect([&](const boost::shared_ptr<CBatchOrderMessageData>&) { ++nForwarded; });
    model.updateData(static_cast<EBatchOrderMsgLevel>(16), QStringLiteral("hidden"), false);
    model.updateData(MSG_LEVEL_WARNING, QStringLiteral("shown"), false);
    EXPECT_EQ(nForwarded, 1);
    EXPECT_EQ(model.getAllMsgs().size(), 2u);
}

TEST(MessageModel, LogFlagWritesTheBareTextAtInfo)
{
    CLogCapture capture;
    CBatchOrderMessageModel model;
    model.updateData(MSG_LEVEL_ERROR, QStringLiteral("start path empty!"), true);
    model.updateData(MSG_LEVEL_ORDER, QStringLiteral("用户清空当前未处理数据!"), false);

    const auto logged = capture.lines();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].m_nLevel, 20000);
    EXPECT_EQ(logged[0].m_strText, "[order ] start path empty!");
    EXPECT_EQ(model.getAllMsgs().size(), 2u);
}

TEST(MessageModel, SlotReportingAgainOnTheSameThreadDoesNotDeadlock)
{
    CBatchOrderMessageModel model;
    boost::signals2::scoped_connection connection =
        model.m_sigMessage.connect([&](const boost::shared_ptr<CBatchOrderMessageData>& p) {
            if (p->getMsg().endsWith(QStringLiteral("outer")))
                model.updateData(MSG_LEVEL_SYSTEM, QStringLiteral("inner"), false);
        });
    model.updateData(MSG_LEVEL_SYSTEM, QStringLiteral("outer"), false);
    const auto stored = lines(model);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored[0].endsWith(QStringLiteral("outer")));
    EXPECT_TRUE(stored[1].endsWith(QStringLiteral("inner")));
}

TEST(MessageModel, ReportsFromSeveralThreadsReachConsolesInStoredOrder)
{
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    CBatchOrderMessageModel model;
    std::vector<QString> received; // written only under the model's lock, by the slot
    boost::signals2::scoped_connection connection = model.m_sigMessage.connect(
        [&](const boost::shared_ptr<CBatchOrderMessageData>& p) { received.push_back(p->getMsg()); });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&model, t] {
            for (int i = 0; i < kPerThread; ++i)
                model.updateData(MSG_LEVEL_ORDER, QStringLiteral("t%1 #%2").arg(t).arg(i), t % 2 == 0);
        });
    }
    for (auto& thread : threads)
        thread.join();

    const auto stored = lines(model);
    ASSERT_EQ(stored.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(received, stored);

    // Each thread's own reports keep their order.
    std::map<int, int> next;
    const QRegularExpression pattern(QStringLiteral("t(\\d+) #(\\d+)$"));
    for (const QString& strLine : stored)
    {
        const auto match = pattern.match(strLine);
        ASSERT_TRUE(match.hasMatch());
        const int nThread = match.captured(1).toInt();
        EXPECT_EQ(match.captured(2).toInt(), next[nThread]++);
    }
}
