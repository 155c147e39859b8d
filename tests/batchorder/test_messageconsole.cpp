#include "cbatchordermanager.h"
#include "cbatchordermessageconsole.h"
#include "cbatchordermessagemodel.h"
#include "ctextbrowser.h"
#include "runinmainthread.h"

#include "common/ctestmanager.h"
#include "common/waituntil.h"
#include "ui/cuiresource.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTextBlock>

#include <atomic>
#include <memory>
#include <numeric>
#include <thread>

using namespace TC;

namespace {

const QString kStars(60, QLatin1Char('*'));

// A host and a manager for each test; the manager is a process-wide object.
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
        for (const auto& pMsg : m_pManager->getConsoleModel()->getAllMsgs()) {
            result << pMsg->getMsg();
        }
        return result;
    }
    // Reports nCount numbered messages from a thread of its own.
    std::thread reporter(int nCount)
    {
        return std::thread([this, nCount] {
            for (int i = 0; i < nCount; ++i) {
                m_pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("t%1").arg(i), false);
            }
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

struct BannerRow
{
    const char* szName;
    bool bRunning;
    const char* szPath;
    const char* szKey;
    bool bShortcut;
    QStringList expected; // banner lines 2 to 5
};

class ConsoleBanner : public ConsoleTest, public ::testing::WithParamInterface<BannerRow>
{
};

} // namespace

TEST_P(ConsoleBanner, DescribesTheSettingsOfTheMoment)
{
    const BannerRow& row = GetParam();
    CUserConfig& config = m_pHost->userConfig();
    config.setUserDataString(USER_BATCH_ORDER_FILE_PATH, QString::fromUtf8(row.szPath), false);
    config.setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QString::fromUtf8(row.szKey), false);
    config.setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, row.bShortcut, false);
    if (row.bRunning) {
        m_pHost->orderService().addBatchOrderStrategy(999);
    }
    CBatchOrderMessageConsole console(nullptr);
    EXPECT_EQ(lines(console), QStringList{kStars} + row.expected + QStringList{kStars});
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ConsoleBanner,
    ::testing::Values(BannerRow{"RunningWithKey",
                                true,
                                "/数据/指令.csv",
                                "Ctrl+F9",
                                true,
                                {QStringLiteral("[system] Strategy 999 is start!"),
                                 QStringLiteral("[system] Monitor path is /数据/指令.csv!"),
                                 QStringLiteral("[system] Shortcut key is Ctrl+F9!"),
                                 QStringLiteral("[system] Shortcut is enable!")}},
                      BannerRow{"StoppedAndEmpty",
                                false,
                                "",
                                "",
                                false,
                                {QStringLiteral("[system] Strategy 999 is stop!"),
                                 QStringLiteral("[system] Monitor path is !"),
                                 QStringLiteral("[system] Shortcut key is !"),
                                 QStringLiteral("[system] Shortcut is disable!")}}),
    [](const ::testing::TestParamInfo<BannerRow>& info) { return info.param.szName; });

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
// order, whichever side of its construction the message fell on.
TEST_F(ConsoleTest, MessagesAroundConstructionAreShownOnceInOrder)
{
    const int kMessages = 3000;
    std::thread thread = reporter(kMessages);
    std::vector<std::unique_ptr<CBatchOrderMessageConsole>> consoles;
    for (int i = 0; i < 8; ++i) {
        consoles.push_back(std::make_unique<CBatchOrderMessageConsole>(nullptr));
        QCoreApplication::processEvents();
    }
    thread.join();
    const QStringList all = modelLines();
    for (const auto& pConsole : consoles) {
        ASSERT_TRUE(waitShown(*pConsole, all.size()));
        EXPECT_EQ(messages(*pConsole), all);
    }
}

// A console destroyed while appends for it are queued: they are dropped, and the other console still
// gets everything.
TEST_F(ConsoleTest, DestroyedConsoleDropsQueuedMessages)
{
    auto pDoomed = std::make_unique<CBatchOrderMessageConsole>(nullptr);
    CBatchOrderMessageConsole survivor(nullptr);
    std::thread thread = reporter(2000);
    waitUntil([&] { return m_pManager->getConsoleModel()->getAllMsgs().size() >= 500; });
    pDoomed.reset(); // while the reporter is still running, with flushes posted and not yet run
    thread.join();
    m_pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("after"), false);
    ASSERT_TRUE(waitShown(survivor, 2001));
    EXPECT_EQ(messages(survivor), modelLines());
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
