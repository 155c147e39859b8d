#include "cshortcutserver.h"

#include "base/clogger.h"
#include "cshortcuttextframer.h"

#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace TC {

namespace {

// How soon a failed accept is tried again.
constexpr int kAcceptRetryMSec = 200;

QString errnoText(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

void logLine(const log4cxx::LevelPtr& level, const QString& strText)
{
    if (g_TTStdLogger && g_TTStdLogger->isEnabledFor(level))
        g_TTStdLogger->log(level, strText.toStdString());
}

} // namespace

CShortcutServer::CShortcutServer(FnText fnText, int nIdleMSec, QObject* pParent)
    : QObject(pParent), m_fnText(std::move(fnText)), m_nIdleMSec(nIdleMSec), m_pRetryTimer(new QTimer(this))
{
    m_pRetryTimer->setSingleShot(true);
    m_pRetryTimer->setInterval(kAcceptRetryMSec);
    connect(m_pRetryTimer, &QTimer::timeout, this, [this] {
        if (m_pNotifier)
            m_pNotifier->setEnabled(true);
    });
}

CShortcutServer::~CShortcutServer()
{
    close();
}

bool CShortcutServer::listen(const QString& strPath, QString& strError)
{
    close();
    const QByteArray path = QFile::encodeName(strPath);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof(address.sun_path)) {
        strError = QStringLiteral("%1: not usable as a local socket name (1 to %2 bytes)")
                       .arg(strPath)
                       .arg(sizeof(address.sun_path) - 1);
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    auto* pAddress = reinterpret_cast<const sockaddr*>(&address);

    struct stat info = {};
    if (::lstat(path.constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            strError = QStringLiteral("%1 exists and is not a socket; it is left alone, choose another name")
                           .arg(strPath);
            return false;
        }
        // Only a socket nobody answers on is a leftover of a host that did not end cleanly.
        const int nProbe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int nConnected = nProbe < 0 ? -1 : ::connect(nProbe, pAddress, sizeof(address));
        const int nError = errno;
        if (nProbe >= 0)
            ::close(nProbe);
        if (nConnected == 0 || nError == EAGAIN) {
            strError = QStringLiteral("%1: another program (another host?) is listening on it").arg(strPath);
            return false;
        }
        if (nError != ECONNREFUSED) {
            strError =
                QStringLiteral("%1: cannot tell whether it is in use: %2").arg(strPath, errnoText(nError));
            return false;
        }
        ::unlink(path.constData());
    }

    const int nFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (nFd < 0) {
        strError = QStringLiteral("%1: cannot create a socket: %2").arg(strPath, errnoText(errno));
        return false;
    }
    // Only the owner may hand over orders.
    if (::bind(nFd, pAddress, sizeof(address)) != 0 || ::chmod(path.constData(), 0600) != 0 ||
        ::listen(nFd, SOMAXCONN) != 0) {
        strError = QStringLiteral("%1: cannot listen: %2").arg(strPath, errnoText(errno));
        ::close(nFd);
        return false;
    }
    m_nFd = nFd;
    m_strPath = strPath;
    m_pNotifier = new QSocketNotifier(nFd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CShortcutServer::onAcceptable);
    return true;
}

void CShortcutServer::close()
{
    if (m_nFd < 0)
        return;
    m_pRetryTimer->stop();
    delete m_pNotifier;
    m_pNotifier = nullptr;
    ::close(m_nFd);
    m_nFd = -1;
    ::unlink(QFile::encodeName(m_strPath).constData());
}

void CShortcutServer::onAcceptable()
{
    for (;;) {
        const int nFd = ::accept4(m_nFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (nFd >= 0) {
            if (m_bAcceptFailing) {
                m_bAcceptFailing = false;
                logLine(log4cxx::Level::getInfo(),
                        QStringLiteral("%1: accepting connections again").arg(m_strPath));
            }
            accept(nFd);
            continue;
        }
        const int nError = errno;
        if (nError == EAGAIN || nError == EWOULDBLOCK)
            return;
        if (nError == EINTR || nError == ECONNABORTED)
            continue;
        // Out of descriptors or memory: the connection waits in the backlog; the socket stays.
        if (!m_bAcceptFailing) {
            m_bAcceptFailing = true;
            logLine(
                log4cxx::Level::getError(),
                QStringLiteral("%1: cannot accept a connection: %2; the socket stays open and connections "
                               "are accepted again as soon as possible")
                    .arg(m_strPath, errnoText(nError)));
        }
        m_pNotifier->setEnabled(false);
        m_pRetryTimer->start();
        return;
    }
}

void CShortcutServer::accept(int nFd)
{
    auto* pSocket = new QLocalSocket(this);
    if (!pSocket->setSocketDescriptor(nFd)) {
        ::close(nFd);
        delete pSocket;
        return;
    }
    // A connection that sends no complete text would hold a descriptor for good.
    auto* pIdle = new QTimer(pSocket);
    pIdle->setSingleShot(true);
    pIdle->setInterval(m_nIdleMSec);
    connect(pIdle, &QTimer::timeout, pSocket, [pSocket, nIdleMSec = m_nIdleMSec] {
        answer(pSocket, QStringLiteral("ERROR no complete text within %1 ms\n").arg(nIdleMSec).toUtf8());
    });
    // The framer lives as long as the connection that holds it, which ends with the socket.
    auto pFramer = std::make_shared<CShortcutTextFramer>();
    connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket, pIdle, pFramer] {
        pIdle->start();
        onData(pSocket, *pFramer);
    });
    connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
    pIdle->start();
}

void CShortcutServer::onData(QLocalSocket* pSocket, CShortcutTextFramer& framer)
{
    if (pSocket->state() != QLocalSocket::ConnectedState)
        return;
    if (!framer.append(pSocket->readAll()))
        return;
    if (framer.state() == CShortcutTextFramer::TOO_LARGE)
        answer(pSocket, "ERROR text too large\n");
    else
        answer(pSocket, m_fnText(framer.text()) ? "OK taken\n" : "ERROR not a \"BatchOrder:\" text\n");
}

void CShortcutServer::answer(QLocalSocket* pSocket, const QByteArray& line)
{
    if (pSocket->state() != QLocalSocket::ConnectedState)
        return;
    pSocket->write(line);
    pSocket->flush();
    pSocket->disconnectFromServer();
}

} // namespace TC
