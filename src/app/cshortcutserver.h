#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

namespace TC {

class CShortcutTextFramer;

// The local socket on which programs hand "BatchOrder:" texts to the host: one text per connection,
// UTF-8, ended by a NUL byte; the answer is one line. Unlike QLocalServer it never gives up its socket:
// a failed accept (no descriptor left) is logged and retried until descriptors are free again. Lives
// on the main thread; the text handler runs there too.
class CShortcutServer : public QObject
{
    Q_OBJECT

public:
    // Gets a complete text; true when it was taken.
    using FnText = std::function<bool(const QString&)>;

    CShortcutServer(FnText fnText, int nIdleMSec, QObject* pParent = nullptr);
    ~CShortcutServer() override;

    // Listens on strPath with owner-only access. Refuses, with a reason, a path that exists and is not
    // a socket, and a socket on which something still listens; a socket left by a host that is gone
    // is replaced.
    bool listen(const QString& strPath, QString& strError);
    void close();
    bool isListening() const { return m_nFd >= 0; }

private:
    void onAcceptable();
    void accept(int nFd);
    void onData(QLocalSocket* pSocket, CShortcutTextFramer& framer);
    // Answers one line and closes the connection; a connection already closing gets nothing more.
    static void answer(QLocalSocket* pSocket, const QByteArray& line);

    FnText m_fnText;
    const int m_nIdleMSec;
    QString m_strPath;
    int m_nFd = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    // Re-arms the notifier after a failed accept, once descriptors may be free again.
    QTimer* m_pRetryTimer = nullptr;
    bool m_bAcceptFailing = false;
};

} // namespace TC
