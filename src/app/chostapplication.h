#pragma once

#include "chostoptions.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/connection.hpp>

#include <QObject>
#include <QString>

#include <memory>

class QMainWindow;

namespace TC {

class CConfig;
class CConsolePrinter;
class CHostProfile;
class COrderJournal;
class COrderService;
class CReceiptRecorder;
class CProfileDataCenter;
class CShortcutServer;
class CUserConfig;

// The reference host process: sets up the host services from the options, installs the module's
// manager, and tears everything down in order at the end. Lives on the main (GUI) thread.
class CHostApplication : public QObject
{
    Q_OBJECT

public:
    CHostApplication(const CHostOptions& options, bool bHeadless);
    ~CHostApplication() override;

    // Everything up to a running module; false with a reason for the user when something is wrong.
    bool start(QString& strError);
    // Stops monitoring, lets queued intake finish, names what is still pending, releases the services.
    void shutdown();

    // Turns SIGINT, SIGTERM and SIGHUP into a clean quit of the event loop, and makes a closed pipe or
    // an exceeded file size a failed write instead of the end of the process (call once, before exec()).
    static bool installSignalHandlers(QString& strError);

private:
    bool setUpServices(const QString& strDataDir, QString& strError);
    void reportWriteFailures();
    bool startMonitoring(QString& strError);
    bool startListening(QString& strError);
    void createWindow();

    CHostOptions m_options;
    bool m_bHeadless = false;
    bool m_bShutDown = false;
    std::unique_ptr<CHostProfile> m_pProfile;
    std::unique_ptr<CConfig> m_pConfig;
    std::unique_ptr<CUserConfig> m_pUserConfig;
    boost::shared_ptr<COrderJournal> m_pJournal;
    std::unique_ptr<COrderService> m_pOrderService;
    std::unique_ptr<CReceiptRecorder> m_pReceiptRecorder;
    std::unique_ptr<CProfileDataCenter> m_pDataCenter;
    std::unique_ptr<CConsolePrinter> m_pPrinter;
    boost::signals2::scoped_connection m_printConnection;
    boost::signals2::scoped_connection m_journalConnection;
    boost::signals2::scoped_connection m_settingsConnection;
    CShortcutServer* m_pServer = nullptr;
    std::unique_ptr<QMainWindow> m_pWindow;
};

} // namespace TC
