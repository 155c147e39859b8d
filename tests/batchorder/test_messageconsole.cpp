#include "cbatchordermanager.h"
#include "cbatchordermessageconsole.h"
#include "cbatchordermessagemodel.h"
#include "ctextbrowser.h"
#include "runinmainthread.h"

#include "common/clogcapture.h"
#include "common/ctestmanager.h"
#include "common/waituntil.h"
#include "ui/cuiresource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>

#include <map>
#include <memory>
#include <thread>
#include <tuple>

using namespace TC;

namespace {

QStringList texts(const CBatchOrderMessageModel& model)
{
    QStringList result;
    for (const auto& pMsg : model.getAllMsgs())
        result << pMsg->getMsg();
    return result;
}

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
    // The console's lines after the six of the banner.
    static QStringList messages(const CBatchOrderMessageConsole& console) { return lines(console).mid(6); }
    QStringList modelLines() const { return texts(*m_pManager->getConsoleModel()); }
    // Reports nCount messages "<tag><i>" from a thread of its own, logging them when bLog.
    std::thread reporter(int nCount, char cTag = 't', bool bLog = false)
    {
        return std::thread([=] {
            for (int i = 0; i < nCount; ++i)
                m_pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("%1%2").arg(cTag).arg(i), bLog);
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
    CBatchOrderManager* m_pManager = m_setup.manager();
};

} // namespace

// The banner is the strategy state, path, key and shortcut flag as they are when the console is built.
TEST_F(ConsoleTest, BannerDescribesTheSettingsOfTheMoment)
{
    const std::tuple<const char*, bool, const char*, const char*, const char*> rows[] = {
        {"StoppedAndEmpty", false, "", "", "stop|Monitor path is |Shortcut key is |Shortcut is disable"},
        {"RunningWithKey", true, "/数据/指令.csv", "Ctrl+F9",
         "start|Monitor path is /数据/指令.csv|Shortcut key is Ctrl+F9|Shortcut is enable"}};
    const QString kStars(60, QLatin1Char('*'));
    for (const auto& [szName, bRunning, szPath, szKey, szExpected] : rows) {
        SCOPED_TRACE(szName);
        CUserConfig& config = m_setup.host().userConfig();
        config.setUserDataString(USER_BATCH_ORDER_FILE_PATH, QString::fromUtf8(szPath), false);
        config.setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QString::fromUtf8(szKey), false);
        config.setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, bRunning, false);
        if (bRunning)
            m_setup.host().orderService().addBatchOrderStrategy(999);
        QStringList expected = QString::fromUtf8(szExpected).split('|');
        expected[0] = "Strategy 999 is " + expected[0];
        for (QString& strLine : expected)
            strLine = "[system] " + strLine + '!';
        EXPECT_EQ(lines(CBatchOrderMessageConsole(nullptr)),
                  QStringList{kStars} + expected + QStringList{kStars});
    }
}

// History is replayed with its own time stamps and as plain text; a report on the GUI thread shows before
// it returns, one from another thread only once the event loop runs.
TEST_F(ConsoleTest, BannerThenHistoryThenLiveMessagesInOrder)
{
    m_pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("before one"), false);
    m_pManager->showMsg(MSG_LEVEL_ERROR, QStringLiteral("<b>not markup</b>"), false);
    const QStringList history = modelLines();
    CBatchOrderMessageConsole console(nullptr);
    EXPECT_EQ(messages(console), history);
    EXPECT_TRUE(messages(console).last().endsWith(QStringLiteral(" [error] <b>not markup</b>")));
    m_pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("on the GUI thread"), false);
    EXPECT_TRUE(messages(console).last().endsWith(QStringLiteral("on the GUI thread")));
    reporter(1).join();
    EXPECT_FALSE(messages(console).last().endsWith(QStringLiteral("t0")));
    ASSERT_TRUE(waitShown(console, history.size() + 2));
    EXPECT_EQ(messages(console), modelLines().mid(modelLines().size() - messages(console).size()));
    // Every line keeps the browser's fixed block format.
    for (QTextBlock block = console.textBrowser()->document()->begin(); block.isValid();
         block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        EXPECT_EQ(std::make_tuple(format.lineHeight(), format.lineHeightType(), format.bottomMargin()),
                  std::make_tuple(21.0, int(QTextBlockFormat::FixedHeight), 1.0));
    }
}

// Consoles built while two threads report show every message once, in stored order and each thread's
// order; consoles destroyed with appends queued drop them.
TEST_F(ConsoleTest, MessagesAroundConstructionAreShownOnceInOrder)
{
    std::thread first = reporter(1500, 'a', true);
    std::thread second = reporter(1500, 'b');
    std::vector<std::unique_ptr<CBatchOrderMessageConsole>> consoles;
    for (int i = 0; i < 8; ++i) {
        consoles.push_back(std::make_unique<CBatchOrderMessageConsole>(nullptr));
        QCoreApplication::processEvents();
        if (i % 3 == 2)
            consoles[i - 1].reset(); // while the reporters run, with flushes posted and not yet run
    }
    first.join();
    second.join();
    m_pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("after"), false);
    const QStringList all = modelLines();
    for (const auto& pConsole : consoles) {
        if (pConsole) {
            ASSERT_TRUE(waitShown(*pConsole, all.size()));
            EXPECT_EQ(messages(*pConsole), all);
        }
    }
    std::map<QChar, int> next;
    for (const QString& strLine : all.filter(QRegularExpression(QStringLiteral(" \\[order\\] [ab]\\d+$"))))
        EXPECT_EQ(strLine.section(' ', 2).mid(1).toInt(), next[strLine.section(' ', 2)[0]]++);
    EXPECT_EQ(next, (std::map<QChar, int>{{'a', 1500}, {'b', 1500}}));
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

// At once on the GUI thread; from others queued in order, and dropped when the context is destroyed first.
TEST(RunInMainThread, RunsAtOnceOnTheGuiThreadAndQueuedFromOthers)
{
    std::vector<int> order; // touched on the GUI thread only
    runInMainThread([&order] { order.push_back(-1); });
    EXPECT_EQ(order, std::vector<int>{-1});
    std::thread([&order] {
        for (int i = 0; i < 100; ++i)
            runInMainThread([&order, i] { order.push_back(i); });
    }).join();
    EXPECT_EQ(order.size(), 1u) << "nothing runs before the GUI event loop does";
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return order.size() == 101;
    }));
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(order[i], i - 1);

    auto pContext = std::make_unique<QObject>();
    std::thread([&] { runInMainThread([&order] { order.push_back(0); }, pContext.get()); }).join();
    pContext.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(order.size(), 101u);
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
        EXPECT_TRUE(stamp.match(data.getMsg()).hasMatch()) << data.getMsg().toStdString();
        EXPECT_EQ(data.getMsg().mid(12).toStdString(), szExpectedTail);
        EXPECT_EQ(static_cast<int>(data.getLevel()), nLevel);
    }
}

// Every report is stored for later consoles; levels outside the mask are not forwarded; the log flag
// writes the bare text at INFO; a slot that reports again on its own thread does not deadlock.
TEST(MessageModel, StoresEveryReportForwardsTheMaskedOnesAndLogsOnRequest)
{
    CLogCapture capture;
    CBatchOrderMessageModel model;
    model.updateData(MSG_LEVEL_ERROR, QStringLiteral("start path empty!"), true);
    QStringList forwarded;
    boost::signals2::scoped_connection connection = model.m_sigMessage.connect(
        [&](const boost::shared_ptr<CBatchOrderMessageData>& p) { forwarded << p->getMsg(); });
    boost::signals2::scoped_connection reentrant =
        model.m_sigMessage.connect([&](const boost::shared_ptr<CBatchOrderMessageData>& p) {
            if (p->getMsg().endsWith(QStringLiteral("outer")))
                model.updateData(MSG_LEVEL_SYSTEM, QStringLiteral("inner"), false);
        });
    model.updateData(static_cast<EBatchOrderMsgLevel>(16), QStringLiteral("hidden"), false);
    model.updateData(MSG_LEVEL_ORDER, QStringLiteral("outer"), false);

    const QStringList stored = texts(model);
    ASSERT_EQ(stored.size(), 4);
    EXPECT_TRUE(stored[0].endsWith(QStringLiteral(" [error] start path empty!")));
    EXPECT_TRUE(stored[3].endsWith(QStringLiteral(" [system] inner")));
    EXPECT_EQ(forwarded, stored.mid(2));
    const auto logged = capture.lines();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(std::make_pair(logged[0].m_nLevel, logged[0].m_strText),
              std::make_pair(20000, std::string("[order ] start path empty!")));
}
