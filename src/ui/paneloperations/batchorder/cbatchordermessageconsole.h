#pragma once

#include "cbatchordermessagedata.h"

#include "ui/cbasewidget.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/connection.hpp>

#include <mutex>
#include <vector>

namespace TC {

class CBatchOrderMessageModel;
class CTextBrowser;

// The panel's message pane: one tab, "执行信息", with a browser showing the status banner, every message
// reported before the console was built, then each new one. onMessage runs on whichever thread reports
// (under the model's lock) and only queues the record; the browser is written on the GUI thread, in
// batches, so that a flood of messages never stalls the GUI for long.
class CBatchOrderMessageConsole : public WQ::CBaseWidget
{
public:
    explicit CBatchOrderMessageConsole(QWidget* pParent);
    ~CBatchOrderMessageConsole() override;

    CTextBrowser* textBrowser() const { return m_pTextBrowser; }

private:
    void createUi();
    void writeBanner();
    void onMessage(const boost::shared_ptr<CBatchOrderMessageData>& pData);
    // Appends queued records to the browser: all of them, or as many as a short time allows, queuing
    // the rest for the next turn of the event loop.
    void flushPending(bool bAll);

    CTextBrowser* m_pTextBrowser = nullptr;
    boost::shared_ptr<CBatchOrderMessageModel> m_pConsoleModel;
    boost::signals2::connection m_connection;

    std::mutex m_pendingMutex; // taken inside the model's lock, never the other way round
    std::vector<boost::shared_ptr<CBatchOrderMessageData>> m_pendingMessages;
    bool m_bFlushQueued = false; // a flush is posted to the GUI thread and has not run yet
};

} // namespace TC
