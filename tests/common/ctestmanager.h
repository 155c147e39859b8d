#pragma once

#include "common/ctesthost.h"

#include <QStringList>
#include <QWidget>

#include <memory>

namespace TC {
class CBatchOrderManager;
}

// A host and the process-wide batch order manager installed on it for one test. The manager is taken
// down (held calls let go, monitoring and the smart key checker stopped, its strand drained) before
// the host goes.
class CTestManager
{
public:
    // Without bCreate the test makes the manager with create(), once it has set the host up.
    explicit CTestManager(bool bCreate = true, const QString& strProfilePath = QString());
    ~CTestManager();
    CTestManager(const CTestManager&) = delete;
    CTestManager& operator=(const CTestManager&) = delete;

    CTestHost& host() { return *m_pHost; }
    CRecordingOrderService& recorder() { return *m_pHost->recorder(); }
    TC::CBatchOrderManager* manager() const { return m_pManager; }
    TC::CBatchOrderManager* create();
    // Takes the manager down as the host does; nothing without one.
    void destroy();
    // The manager, no longer installed nor owned: for a test that deletes it itself.
    TC::CBatchOrderManager* takeManager();

    // The console lines reported since the manager was made, each "[level] text" without time stamp.
    QStringList consoleTexts() const;
    // Hands the lines to the manager's shortcut intake and waits until the strand has taken them in.
    void intake(const QString& strLines);
    // Today's backup file, and its lines without the byte order mark (none when there is no file).
    QString backupPath() const;
    QStringList backupLines() const;

private:
    std::unique_ptr<CTestHost> m_pHost;
    TC::CBatchOrderManager* m_pManager = nullptr;
};

// The control with the given id among pParent's descendants of type T; null when there is none.
template <class T> T* control(const QWidget* pParent, int nId)
{
    for (T* pChild : pParent->findChildren<T*>()) {
        if (pChild->id() == nId)
            return pChild;
    }
    return nullptr;
}
