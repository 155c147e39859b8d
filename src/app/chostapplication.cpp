#include "chostapplication.h"

#include "cbatchordermanager.h"
#include "chostmainwindow.h"

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
#include <QKeySequence>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMainWindow>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace TC {

namespace {

constexpr int kBatchOrderStrategy = 999;
// A shortcut text larger than this is refused rather than buffered without end.
constexpr qint64 kMaxShortcutBytes = 16 * 1024 * 1024;

int g_signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe calls here; the event loop does the rest.
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &c, 1);
}

void logInfo(const std::string& strText)
{
    LOG4CXX_INFO(g_TTStdLogger, strText);
}

// As the settings dialog's start button: the order key of the user settings to the manager, the
// global key hook, then the instruction file, so that the order key works at once.
void startMonitoring(CBatchOrderManager* pManager, const CUserConfig& config, const QString& strPath)
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
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0)
    {
        strError = QStringLiteral("cannot create the signal pipe");
        return false;
    }
    auto* pNotifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(pNotifier, &QSocketNotifier::activated, QCoreApplication::instance(), [pNotifier] {
        char c = 0;
        [[maybe_unused]] ssize_t n = ::read(g_signalFds[1], &c, 1);
        pNotifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

bool CHostApplication::start(QString& strError)
{
    const QString strDataDir = QDir(m_options.m_strDataDir).absolutePath();
    if (!QDir().mkpath(strDataDir))
    {
        strError = QStringLiteral("%1: cannot create the data directory").arg(strDataDir);
        return false;
    }
    if (!utils::initLogger(m_options.m_strLogConfig, strDataDir + QStringLiteral("/logs"), strError))
        return false;
    logInfo("batchorder-host starting, data dir " + strDataDir.toStdString());

    if (!setUpServices(strError))
        return false;

    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();

    if (m_bHeadless)
    {
        // Console lines go to stdout as they are reported, one flush per line, in the model's order
        // (the slot runs under the model's lock).
        m_printConnection = pManager->getConsoleModel()->m_sigMessage.connect(
            [](const boost::shared_ptr<CBatchOrderMessageData>& pMessage) {
                const QByteArray line = pMessage->getMsg().toUtf8() + '\n';
                std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
                std::fflush(stdout);
            });
    }

    if (!m_options.m_strWatchPath.isEmpty())
    {
        const QFileInfo watch(m_options.m_strWatchPath);
        if (!QDir().mkpath(watch.absolutePath()))
        {
            strError = QStringLiteral("%1: cannot create the directory of the instruction file").arg(watch.absolutePath());
            return false;
        }
        const QString strPath = watch.absoluteFilePath();
        m_pUserConfig->setUserDataString(USER_BATCH_ORDER_FILE_PATH, strPath, false);
        startMonitoring(pManager, *m_pUserConfig, strPath);
        logInfo("watching instruction file " + strPath.toStdString() +
                " - write or copy an instruction file there to have it processed");
    }
    if (m_options.m_bAutoDispatch)
        logInfo("automatic dispatch: pending orders are placed once the oldest has waited a second");

    if (!m_options.m_strListenName.isEmpty() && !startListening(strError))
        return false;

    if (!m_bHeadless)
        createWindow();
    return true;
}

bool CHostApplication::setUpServices(QString& strError)
{
    m_pProfile = std::make_unique<CHostProfile>();
    if (!m_pProfile->load(m_options.m_strProfile, strError))
        return false;

    m_pConfig = std::make_unique<CConfig>(QDir(m_options.m_strDataDir).absolutePath(),
                                          m_pProfile->m_strStrategyReplaceFrom, m_pProfile->m_strStrategyReplaceTo);
    if (!m_pConfig->prepareDirectories(strError))
        return false;
    m_pUserConfig = std::make_unique<CUserConfig>(m_pConfig->dataDir() + QStringLiteral("/user.ini"), *m_pProfile);

    auto pJournal = boost::make_shared<COrderJournal>();
    if (!pJournal->open(m_pConfig->dataDir() + QStringLiteral("/orders.db"), strError))
        return false;
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

bool CHostApplication::startListening(QString& strError)
{
    QString strName = m_options.m_strListenName;
    if (!strName.contains(QLatin1Char('/')))
        strName = m_pConfig->dataDir() + QLatin1Char('/') + strName;
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a host that did not end cleanly would block the name.
    QLocalServer::removeServer(strName);
    if (!m_pServer->listen(strName))
    {
        strError = QStringLiteral("%1: cannot listen: %2").arg(strName, m_pServer->errorString());
        return false;
    }
    connect(m_pServer, &QLocalServer::newConnection, this, &CHostApplication::onNewConnection);
    logInfo("listening for \"BatchOrder:\" texts on " + m_pServer->fullServerName().toStdString());
    return true;
}

void CHostApplication::onNewConnection()
{
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection())
    {
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] { onSocketData(pSocket); });
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
    }
}

void CHostApplication::onSocketData(QLocalSocket* pSocket)
{
    QByteArray buffer = pSocket->property("buffer").toByteArray() + pSocket->readAll();
    const int nEnd = buffer.indexOf('\0');
    if (nEnd < 0)
    {
        if (buffer.size() > kMaxShortcutBytes)
        {
            pSocket->write("ERROR text too large\n");
            pSocket->disconnectFromServer();
            return;
        }
        pSocket->setProperty("buffer", buffer);
        return;
    }
    pSocket->setProperty("buffer", QByteArray());
    const QString strText = QString::fromUtf8(buffer.left(nEnd));
    const bool bTaken = CBatchOrderManager::instance()->shortcutOrder(strText);
    pSocket->write(bTaken ? "OK taken\n" : "ERROR not a \"BatchOrder:\" text\n");
    pSocket->flush();
    pSocket->disconnectFromServer();
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

    if (m_pServer)
        m_pServer->close();
    // The window first: its panel leaves the manager, and it keeps its layout in the user settings.
    m_pWindow.reset();
    // The key hook's thread calls into the manager; it ends before the manager does.
    utils::CSingletonT<CShortcutManager>::instance()->removeHook();
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (pManager && m_pOrderService && m_pOrderService->isStrategyRunning(kBatchOrderStrategy))
        pManager->stopFileMonitor();
    // Intake already queued on the strand still runs to its end (and is backed up).
    utils::CSingletonT<net::RPCEngine>::instance()->stop();

    if (pManager)
    {
        int nPending = 0;
        for (const auto& pData : pManager->getAllDatas())
        {
            if (pData && pData->m_nStatus == 0)
            {
                ++nPending;
                // The record class is internal to the module; name the record by its columns.
                logInfo(QStringLiteral("still pending at exit: seq %1, ORDER_TYPE %2, STOCK_CODE %3, VOLUME %4, "
                                       "ACCOUNT_ID %5")
                            .arg(pData->m_nSeq)
                            .arg(pData->m_strOrderType, pData->m_strStockCode, pData->m_strVolume,
                                 pData->m_strAccountId)
                            .toStdString());
            }
        }
        logInfo("batchorder-host stopped, " + std::to_string(nPending) + " record(s) still pending");
        m_printConnection.disconnect();
        CBatchOrderManager::m_pInstance = nullptr;
        delete pManager;
    }

    ttservice::TraderCenter::instance()->setDataCenter(nullptr);
    utils::CManualSingletonT<COrderService>::setInstance(nullptr);
    utils::CManualSingletonT<CUserConfig>::setInstance(nullptr);
    utils::CManualSingletonT<CConfig>::setInstance(nullptr);
    m_pOrderService.reset();
    m_pDataCenter.reset();
    m_pUserConfig.reset();
    m_pConfig.reset();
}

} // namespace TC
