#pragma once

#include "chostoptions.h"

#include <boost/signals2/connection.hpp>

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QMainWindow;
class QSocketNotifier;

namespace TC {

class CConfig;
class CShortcutTextFramer;
class CHostProfile;
class COrderJournal;
class COrderService;
class CProfileDataCenter;
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

    // Turns SIGINT and SIGTERM into a clean quit of the event loop (call once, before exec()).
    static bool installSignalHandlers(QString& strError);

private:
    bool setUpServices(QString& strError);
    bool startListening(QString& strError);
    void onNewConnection();
    void onSocketData(QLocalSocket* pSocket, CShortcutTextFramer& framer);
    void createWindow();

    CHostOptions m_options;
    bool m_bHeadless = false;
    bool m_bShutDown = false;
    std::unique_ptr<CHostProfile> m_pProfile;
    std::unique_ptr<CConfig> m_pConfig;
    std::unique_ptr<CUserConfig> m_pUserConfig;
    std::unique_ptr<COrderService> m_pOrderService;
    std::unique_ptr<CProfileDataCenter> m_pDataCenter;
    boost::signals2::scoped_connection m_printConnection;
    QLocalServer* m_pServer = nullptr;
    std::unique_ptr<QMainWindow> m_pWindow;
};

} // namespace TC
