#pragma once

#include "ui/cshortcutmanager.h"

#include <boost/signals2/connection.hpp>

#include <QKeySequence>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <utility>
#include <vector>

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString& strText, std::ostream* pStream)
{
    *pStream << '"' << strText.toStdString() << '"';
}

// Records what the shortcut manager's global key signal announces, as (native text, state), from
// whichever thread the hook announces on.
class CKeyRecorder
{
public:
    using CKey = std::pair<QString, int>;

    explicit CKeyRecorder(TC::CShortcutManager& manager)
        : m_connection(manager.m_sigGlobalKey.connect([this](int nKey, int nState) {
              const QString strText = QKeySequence(nKey).toString(QKeySequence::NativeText);
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_keys.emplace_back(strText, nState);
              }
              m_changed.notify_all();
          }))
    {
    }

    std::vector<CKey> keys() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_keys;
    }

    // Waits until at least nCount keys were announced; false on time-out.
    bool waitForCount(size_t nCount, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_keys.size() >= nCount; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<CKey> m_keys;
    boost::signals2::scoped_connection m_connection;
};
