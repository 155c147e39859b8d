#include "cbatchordermanager.h"
#include "cbatchordermessageconsole.h"
#include "cbatchordermessagemodel.h"
#include "ctextbrowser.h"
#include "runinmainthread.h"

#include "common/clogcapture.h"
#include "common/ctestmanager.h"
#include "common/rowname.h"
#include "common/waituntil.h"
#include "ui/cuiresource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>

#include <atomic>
#include <map>
#include <memory>
#include <numeric>
#include <thread>
#include <tuple>

using namespace TC;

namespace {

const QString kStars(60, QLatin1Char('*'));

// A host and a manager for each test.
class ConsoleTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        QCoreApplication::processEvents(); // nothing queued for a console may outlive the test
        WQ::CUiResource::instance()->setTheme(WQ::CUiResource::THEME_DARK);
    }

    static QStringList lines(const CBatchOrderMessageConsole& console)
    {
        return console.textBrowser()->toPlainText().split(QLatin1Char('\n'));
    }
    // The console's lines after the banner.
    static QStringList messages(const CBatchOrderMessageConsole& console) { return lines(console).mid(6); }
    QStringList modelLines() const
    {
        QStringList result;
        for (const auto& pMsg : m_pManager->getConsoleModel()->getAllMsgs())
            result << pMsg->getMsg();
        return result;
    }
    // Reports nCount numbered messages from a thread of its own.
    std::thread reporter(int nCount)
    {
        return std::thread([this, nCount] {
            for (int i = 0; i < nCount; ++i)
                m_pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("t%1").arg(i), false);
        });
    }
    static bool waitShown(const CBatchOrderMessageConsole& console, int nCount)
    {
        return waitUntil([&] {
            QCoreApplication::processEvents();
            return messages(console).size() >= nCount;
        });
    }

    CTestManager m_setup;
    CTestHost* m_pHost = &m_setup.host();
    CBatchOrderManager* m_pManager = m_setup.manager();
};

struct BannerRow : CNamedRow
{
    bool m_bRunning;
    const char* m_szPath;
    const char* m_szKey;
    bool m_bShortcut;
    const char* m_szExpected; // banner lines 2 to 5, joined by "|"
};

class ConsoleBanner : public ConsoleTest, public ::testing::WithParamInterface<BannerRow>
{
};

} // namespace

TEST_P(ConsoleBanner, DescribesTheSettingsOfTheMoment)
{
    const BannerRow& row = GetParam();
    CUserConfig& config = m_pHost->userConfig();
    config.setUserDataString(USER_BATCH_ORDER_FILE_PATH, QString::fromUtf8(row.m_szPath), false);
    config.setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QString::fromUtf8(row.m_szKey), false);
    config.setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, row.m_bShortcut, false);
    if (row.m_bRunning)
        m_pHost->orderService().addBatchOrderStrategy(999);
    CBatchOrderMessageConsole console(nullptr);
    EXPECT_EQ(lines(console),
              QStringList{kStars} + QString::fromUtf8(row.m_szExpected).split('|') + QStringList{kStars});
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ConsoleBanner,
    ::testing::Values(BannerRow{"RunningWithKey", true, "/数据/指令.csv", "Ctrl+F9", true,
                                "[system] Strategy 999 is start!|[system] Monitor path is /数据/指令.csv!|"
                                "[system] Shortcut key is Ctrl+F9!|[system] Shortcut is enable!"},
                      BannerRow{"StoppedAndEmpty", false, "", "", false,
                                "[system] Strategy 999 is stop!|[system] Monitor path is !|"
                                "[system] Shortcut key is !|[system] Shortcut is disable!"}),
    rowName);

TEST_F(ConsoleTest, BannerThenHistoryThenLiveMessagesInOrder)
{
    m_pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("before one"), false);
    m_pManager->showMsg(MSG_LEVEL_ERROR, QStringLiteral("<b>not markup</b>"), false);
    const QStringList history = modelLines();
    CBatchOrderMessageConsole console(nullptr);
    EXPECT_EQ(messages(console), history.mid(history.size() - 2)) << "replayed with their own time stamps";
    EXPECT_TRUE(messages(console).last().endsWith(QStringLiteral(" [error] <b>not markup</b>")));

    m_pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("on the GUI thread"), false);
    EXPECT_TRUE(messages(console).last().endsWith(QStringLiteral("on the GUI thread")))
        << "shown before the report returns";

    reporter(1).join();
    EXPECT_FALSE(messages(console).last().endsWith(QStringLiteral("t0"))) << "only once the event loop runs";
    ASSERT_TRUE(waitShown(console, history.size() + 2));
    EXPECT_EQ(lines(console).mid(6), modelLines().mid(modelLines().size() - messages(console).size()));

    // Every line keeps the fixed block format of the browser.
    for (QTextBlock block = console.textBrowser()->document()->begin(); block.isValid();
         block = block.next()) {
        EXPECT_EQ(block.blockFormat().lineHeight(), 21.0);
        EXPECT_EQ(block.blockFormat().lineHeightType(), int(QTextBlockFormat::FixedHeight));
        EXPECT_EQ(block.blockFormat().bottomMargin(), 1.0);
    }
}

// Consoles built while another thread reports: each shows every message exactly once, in the model's
// order, whichever side of its construction the message fell on. Consoles destroyed meanwhile, with
// appends for them queued, drop those appends.
TEST_F(ConsoleTest, MessagesAroundConstructionAreShownOnceInOrder)
{
    std::thread thread = reporter(3000);
    std::vector<std::unique_ptr<CBatchOrderMessageConsole>> consoles;
    for (int i = 0; i < 8; ++i) {
        consoles.push_back(std::make_unique<CBatchOrderMessageConsole>(nullptr));
        QCoreApplication::processEvents();
        if (i % 3 == 2)
            consoles[i - 1].reset(); // while the reporter runs, with flushes posted and not yet run
    }
    thread.join();
    m_pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("after"), false);
    const QStringList all = modelLines();
    for (const auto& pConsole : consoles) {
        if (pConsole) {
            ASSERT_TRUE(waitShown(*pConsole, all.size()));
            EXPECT_EQ(messages(*pConsole), all);
        }
    }
}

TEST_F(ConsoleTest, ThemeSwitchRestylesTheBrowserAndThePaintedBackground)
{
    WQ::CUiResource* pRes = WQ::CUiResource::instance();
    CBatchOrderMessageConsole console(nullptr);
    console.resize(400, 200);
    CTextBrowser* pBrowser = console.textBrowser();
    for (auto eTheme : {WQ::CUiResource::THEME_DARK, WQ::CUiResource::THEME_LIGHT}) {
        pRes->setTheme(eTheme);
        EXPECT_TRUE(pBrowser->styleSheet().contains(
            QStringLiteral("border-color: %1; color: %2;")
                .arg(pRes->getColorSheetByKey(QStringLiteral("clr_border_default")),
                     pRes->getColorSheetByKey(QStringLiteral("clr_text_default")))));
        // Below the banner the browser shows its painted background only.
        const QImage image = pBrowser->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() - 5),
                  pRes->getColor(QStringLiteral("clr_table_background")));
    }
}

TEST(RunInMainThread, RunsAtOnceOnTheGuiThreadAndQueuedFromOthers)
{
    int nRuns = 0;
    runInMainThread([&nRuns] { ++nRuns; });
    EXPECT_EQ(nRuns, 1);

    std::atomic<int> nQueued{0};
    std::vector<int> order;
    std::thread([&] {
        for (int i = 0; i < 100; ++i) {
            runInMainThread([&, i] {
                order.push_back(i);
                ++nQueued;
            });
        }
    }).join();
    EXPECT_EQ(nQueued.load(), 0) << "nothing runs before the GUI event loop does";
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return nQueued.load() == 100;
    }));
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);

    auto pContext = std::make_unique<QObject>();
    std::thread([&] { runInMainThread([&nRuns] { ++nRuns; }, pContext.get()); }).join();
    pContext.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(nRuns, 1) << "a call queued for a destroyed context is dropped";
}

// ---- the message model --------------------------------------------------------------------------------

static std::vector<QString> lines(const CBatchOrderMessageModel& model)
{
    std::vector<QString> result;
    for (const auto& pMsg : model.getAllMsgs())
        result.push_back(pMsg->getMsg());
    return result;
}

// A time stamp, the level's tag and the text; levels without a tag (not one bit, or none) have none.
TEST(MessageModel, LineIsTimeStampThenTagThenText)
{
    const std::tuple<int, const char*, const char*> rows[] = {
        {1, "start!", " [system] start!"},
        {2, "user batch order !", " [order] user batch order !"},
        {4, "参数非法(x)!", " [error] 参数非法(x)!"},
        {8, "careful", " [warning] careful"},
        {4, "", " [error] "},
        {3, "two bits", " two bits"},
        {16, "outside", " outside"},
        {0, "", " "}};
    const QRegularExpression stamp(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d\\.\\d{3}"));
    for (const auto& [nLevel, szText, szExpectedTail] : rows) {
        CBatchOrderMessageData data;
        data.setMsg(static_cast<EBatchOrderMsgLevel>(nLevel), QString::fromUtf8(szText));
        const QString strLine = data.getMsg();
        EXPECT_TRUE(stamp.match(strLine).hasMatch()) << strLine.toStdString();
        EXPECT_EQ(strLine.mid(12).toStdString(), szExpectedTail);
        EXPECT_EQ(static_cast<int>(data.getLevel()), nLevel);
    }
}

// Every report is stored, in order, for consoles made later; levels outside the mask are stored but not
// forwarded; the log flag writes the bare text at INFO.
TEST(MessageModel, StoresEveryReportForwardsTheMaskedOnesAndLogsOnRequest)
{
    CLogCapture capture;
    CBatchOrderMessageModel model;
    model.updateData(MSG_LEVEL_ERROR, QStringLiteral("start path empty!"), true);
    model.updateData(static_cast<EBatchOrderMsgLevel>(16), QStringLiteral("hidden"), false);
    std::vector<QString> forwarded;
    boost::signals2::scoped_connection connection = model.m_sigMessage.connect(
        [&](const boost::shared_ptr<CBatchOrderMessageData>& p) { forwarded.push_back(p->getMsg()); });
    model.updateData(static_cast<EBatchOrderMsgLevel>(16), QStringLiteral("hidden"), false);
    model.updateData(MSG_LEVEL_ORDER, QStringLiteral("用户清空当前未处理数据!"), false);

    const auto stored = lines(model);
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_TRUE(stored[0].endsWith(QStringLiteral(" [error] start path empty!")));
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0], stored[3]);
    const auto logged = capture.lines();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].m_nLevel, 20000);
    EXPECT_EQ(logged[0].m_strText, "[order ] start path empty!");
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
    EXPECT_TRUE(stored[0].endsWith(QStringLiteral("outer")) && stored[1].endsWith(QStringLiteral("inner")));
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
    for (int t = 0; t < kThreads; ++t) {
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
    for (const QString& strLine : stored) {
        const auto match = pattern.match(strLine);
        ASSERT_TRUE(match.hasMatch());
        EXPECT_EQ(match.captured(2).toInt(), next[match.captured(1).toInt()]++);
    }
}
