#include "chostapplication.h"

#include "cbatchordermanager.h"
#include "cconsoleprinter.h"
#include "chostmainwindow.h"
#include "creceiptrecorder.h"
#include "cshortcutserver.h"

#include "base/clogger.h"
#include "base/cmonitorprocesschecker.h"
#include "base/crpcengine.h"
#include "cbatchorderdata.h"
#include "cbatchordermessagemodel.h"
#include "config/cconfig.h"
#include "config/chostprofile.h"
#include "config/cuserconfig.h"
#include "trading/corderjournal.h"
#include "trading/corderservice.h"
#include "trading/cprofiledatacenter.h"
#include "trading/tradercenter.h"
#include "ui/cshortcutmanager.h"

#include <boost/make_shared.hpp>

#include <log4cxx/logger.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QKeySequence>
#include <QMainWindow>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace TC {

namespace {

constexpr int kBatchOrderStrategy = 999;
// A connection that sends no complete text within this time is closed.
constexpr int kSocketIdleMSec = 10000;
// Names in the data directory that belong to the host itself.
const char* const kOwnFileNames[] = {"user.ini",          "orders.db", "orders.db-wal", "orders.db-shm",
                                     "orders.db-journal", "logs",      "batchorder"};

int g_signalFds[2] = {-1, -1};

void onSignal(int nSignal)
{
    const char c = static_cast<char>(nSignal);
    // Only async-signal-safe calls here; the event loop does the rest.
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &c, 1);
}

void logInfo(const std::string& strText)
{
    LOG4CXX_INFO(g_TTStdLogger, strText);
}

// A write the user must hear about: on the module console, which does not depend on the disk.
void showError(const QString& strText)
{
    if (CBatchOrderManager* pManager = CBatchOrderManager::instance())
        pManager->showMsg(MSG_LEVEL_ERROR, strText, false);
}

// As the settings dialog's start button: the order key of the user settings to the manager, the
// global key hook, then the instruction file, so that the order key works at once.
void startFileMonitorAsTheStartButton(CBatchOrderManager* pManager, const CUserConfig& config, const QString& strPath)
{
    pManager->setOrderSequence(
        QKeySequence(config.getUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY), QKeySequence::NativeText));
    setHook();
    pManager->startFileMonitor(strPath);
}

} // namespace

CHostApplication::CHostApplication(const CHostOptions& options, bool bHeadless)
    : m_options(options), m_bHeadless(bHeadless)
{
}

CHostApplication::~CHostApplication()
{
    shutdown();
}

bool CHostApplication::installSignalHandlers(QString& strError)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0) {
        strError = QStringLiteral("cannot create the signal pipe");
        return false;
    }
    auto* pNotifier =
        new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(pNotifier, &QSocketNotifier::activated, QCoreApplication::instance(), [pNotifier] {
        char c = 0;
        [[maybe_unused]] ssize_t n = ::read(g_signalFds[1], &c, 1);
        pNotifier->setEnabled(false);
        logInfo(std::string("signal ") + std::to_string(static_cast<int>(c)) + " (" + ::strsignal(c) +
                ") received: stopping");
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal (SIGHUP) ends the host as cleanly as Ctrl-C and kill do.
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(nSignal, &action, nullptr);
    // A reader that went away, or a file at its size limit, makes a write fail; the writer reports it.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}

bool CHostApplication::start(QString& strError)
{
    // Nothing is created on disk before the profile is known to be good.
    m_pProfile = std::make_unique<CHostProfile>();
    if (!m_pProfile->load(m_options.m_strProfile, strError))
        return false;
    const QString strDataDir = QDir(m_options.m_strDataDir).absolutePath();
    // Checks the log configuration before it creates the log directory (and with it the data directory).
    if (!utils::initLogger(m_options.m_strLogConfig, strDataDir + QStringLiteral("/logs"), strError))
        return false;
    m_pConfig = std::make_unique<CConfig>(strDataDir, m_pProfile->m_strStrategyReplaceFrom,
                                          m_pProfile->m_strStrategyReplaceTo);
    if (!m_pConfig->prepareDirectories(strError))
        return false;
    logInfo("batchorder-host starting, data dir " + strDataDir.toStdString());

    if (!setUpServices(strDataDir, strError))
        return false;

    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();

    if (m_bHeadless) {
        // Console lines go to stdout in the model's order; the slot runs under the model's lock, so it
        // only queues, and a slow reader of stdout holds up nothing but the printer.
        m_pPrinter = std::make_unique<CConsolePrinter>(STDOUT_FILENO);
        m_printConnection = pManager->getConsoleModel()->m_sigMessage.connect(
            [pPrinter = m_pPrinter.get()](const boost::shared_ptr<CBatchOrderMessageData>& pMessage) {
                pPrinter->print(pMessage->getMsg());
            });
    }
    m_settingsConnection =
        m_pUserConfig->m_sigSaveFailed.connect([](const QString& strKey, const QString& strFile) {
            showError(QStringLiteral("用户设置 %1 未能写入 %2, 重启后将丢失!").arg(strKey, strFile));
        });

    // Before monitoring: the first file read already gets its receipts.
    m_pReceiptRecorder = std::make_unique<CReceiptRecorder>(*pManager, m_pJournal);
    if (const int nUnfinished = m_pReceiptRecorder->markPreviousRunUnfinished())
        showError(QStringLiteral("上次运行有 %1 条已接收的指令未下出, 已在回执中标记为 unfinished!")
                      .arg(nUnfinished));

    if (!startMonitoring(strError))
        return false;
    if (!m_options.m_strListenName.isEmpty() && !startListening(strError))
        return false;

    if (!m_bHeadless)
        createWindow();
    return true;
}

bool CHostApplication::setUpServices(const QString& strDataDir, QString& strError)
{
    m_pUserConfig = std::make_unique<CUserConfig>(strDataDir + QStringLiteral("/user.ini"), *m_pProfile);

    auto pJournal = boost::make_shared<COrderJournal>();
    if (!pJournal->open(strDataDir + QStringLiteral("/orders.db"), strError))
        return false;
    pJournal->setReceiptsDir(strDataDir);
    m_pJournal = pJournal;
    // The paper broker places nothing it could not journal; the console must say so, not only the log.
    m_journalConnection = pJournal->m_sigRecordFailed.connect([](COrderJournal::ERecord eRecord, int nCount) {
        switch (eRecord) {
        case COrderJournal::RECORD_BATCH:
            showError(QStringLiteral("委托日志写入失败, %1 条指令未下出!").arg(nCount));
            break;
        case COrderJournal::RECORD_CANCEL:
            showError(QStringLiteral("委托日志写入失败, 撤单未执行!"));
            break;
        case COrderJournal::RECORD_TASK:
            showError(QStringLiteral("委托日志写入失败, 操作任务未执行!"));
            break;
        case COrderJournal::RECORD_RECEIPTS:
            showError(QStringLiteral("回执写入失败, %1 条回执未记录!").arg(nCount));
            break;
        }
    });
    m_pOrderService = std::make_unique<COrderService>(pJournal);
    m_pDataCenter = std::make_unique<CProfileDataCenter>(*m_pUserConfig);

    utils::CManualSingletonT<CConfig>::setInstance(m_pConfig.get());
    utils::CManualSingletonT<CUserConfig>::setInstance(m_pUserConfig.get());
    utils::CManualSingletonT<COrderService>::setInstance(m_pOrderService.get());
    ttservice::TraderCenter::instance()->setDataCenter(m_pDataCenter.get());
    CMonitorProcessChecker::configure(m_pProfile->m_monitorProcesses, m_options.m_bAutoDispatch);

    logInfo("profile " + QFileInfo(m_options.m_strProfile).absoluteFilePath().toStdString() + ": " +
            std::to_string(m_pProfile->m_accounts.size()) + " accounts, " +
            std::to_string(m_pProfile->m_instruments.size()) + " instruments");
    return true;
}

bool CHostApplication::startMonitoring(QString& strError)
{
    QString strPath = m_options.m_strWatchPath;
    if (strPath.isEmpty()) {
        if (!m_options.m_bAutoDispatch)
            return true;
        // Automatic dispatch needs monitoring running (strategy 999 and the smart key checker), also for
        // texts from the socket: it watches the instruction file of the user settings, or a default one.
        strPath = m_pUserConfig->getUserDataString(USER_BATCH_ORDER_FILE_PATH);
        if (strPath.isEmpty())
            strPath = m_pConfig->dataDir() + QStringLiteral("/inbox/orders.csv");
    }
    const QFileInfo watch(strPath);
    if (!QDir().mkpath(watch.absolutePath())) {
        strError = QStringLiteral("%1: cannot create the directory of the instruction file")
                       .arg(watch.absolutePath());
        return false;
    }
    strPath = watch.absoluteFilePath();
    m_pReceiptRecorder->setWatchPath(strPath);
    m_pUserConfig->setUserDataString(USER_BATCH_ORDER_FILE_PATH, strPath, false);
    CBatchOrderManager::instance()->setMaxFileSize(m_options.m_nMaxFileSize);
    startFileMonitorAsTheStartButton(CBatchOrderManager::instance(), *m_pUserConfig, strPath);
    logInfo("watching instruction file " + strPath.toStdString() +
            " - write or copy an instruction file there to have it processed");
    if (m_options.m_bAutoDispatch)
        logInfo("automatic dispatch: pending orders are placed once the oldest has waited a second");
    return true;
}

bool CHostApplication::startListening(QString& strError)
{
    QString strName = m_options.m_strListenName;
    if (!strName.contains(QLatin1Char('/'))) {
        for (const char* szOwn : kOwnFileNames) {
            if (strName == QLatin1String(szOwn)) {
                strError =
                    QStringLiteral("--listen %1: the data directory keeps a file of the host under that "
                                   "name; choose another name")
                        .arg(strName);
                return false;
            }
        }
        strName = m_pConfig->dataDir() + QLatin1Char('/') + strName;
    }
    m_pServer = new CShortcutServer(
        [](const QString& strText) { return CBatchOrderManager::instance()->shortcutOrder(strText); },
        kSocketIdleMSec, this);
    if (!m_pServer->listen(strName, strError))
        return false;
    logInfo("listening for \"BatchOrder:\" texts on " + strName.toStdString());
    return true;
}

void CHostApplication::createWindow()
{
    m_pWindow = std::make_unique<CHostMainWindow>(m_pConfig->dataDir() + QStringLiteral("/orders.db"));
    m_pWindow->show();
}

void CHostApplication::shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;

    // Its connections hand texts to the manager, which goes below.
    delete m_pServer;
    m_pServer = nullptr;
    // The window next: its panel leaves the manager, and it keeps its layout in the user settings.
    m_pWindow.reset();
    // The key hook's thread calls into the manager; it ends before the manager does.
    utils::CSingletonT<CShortcutManager>::instance()->removeHook();
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (pManager && m_pOrderService && m_pOrderService->isStrategyRunning(kBatchOrderStrategy))
        pManager->stopFileMonitor();
    // Intake already queued on the strand still runs to its end (and is backed up).
    utils::CSingletonT<net::RPCEngine>::instance()->stop();

    if (pManager) {
        int nPending = 0;
        const auto datas = pManager->getAllDatas();
        // Committed before the journal closes, with every batch placed so far (or its failure on the
        // console): a writer reads these lines as not placed.
        if (m_pReceiptRecorder)
            m_pReceiptRecorder->markStillPendingUnfinished(datas);
        m_pReceiptRecorder.reset();
        for (const auto& pData : datas) {
            if (pData && pData->m_nStatus == 0) {
                ++nPending;
                // The record class is internal to the module; name the record by its columns.
                logInfo(
                    QStringLiteral("still pending at exit: seq %1, ORDER_TYPE %2, STOCK_CODE %3, VOLUME %4, "
                                   "ACCOUNT_ID %5")
                        .arg(pData->m_nSeq)
                        .arg(pData->m_strOrderType, pData->m_strStockCode, pData->m_strVolume,
                             pData->m_strAccountId)
                        .toStdString());
            }
        }
        logInfo("batchorder-host stopped, " + std::to_string(nPending) + " record(s) still pending");
        m_journalConnection.disconnect();
        m_settingsConnection.disconnect();
        m_printConnection.disconnect();
        // Every console line reported so far reaches stdout before the host ends.
        if (m_pPrinter)
            m_pPrinter->stop();
        CBatchOrderManager::m_pInstance = nullptr;
        delete pManager;
    }

    ttservice::TraderCenter::instance()->setDataCenter(nullptr);
    utils::CManualSingletonT<COrderService>::setInstance(nullptr);
    utils::CManualSingletonT<CUserConfig>::setInstance(nullptr);
    utils::CManualSingletonT<CConfig>::setInstance(nullptr);
    m_pOrderService.reset();
    m_pJournal.reset();
    m_pDataCenter.reset();
    m_pUserConfig.reset();
    m_pConfig.reset();
}

} // namespace TC
