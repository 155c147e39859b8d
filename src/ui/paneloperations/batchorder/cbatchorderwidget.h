#pragma once

#include "batchorder_export.h"

#include "ui/cbasewidget.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/connection.hpp>

#include <QVector>

class QTimer;

namespace WQ {
class CAutoExpandToolBar;
class CSmallNormalButton;
class CSplitButtonContainer;
class CStandardHpfTable;
class CStandardTabControl;
} // namespace WQ

namespace TC {

class CBatchOrderData;
class CBatchOrderMessageConsole;
class CBatchOrderSettingDialog;
class CBatchOrderTableModel;
class CBatchOrderWidgetGuard;

// The batch order panel: pending and processed instructions in two tabs, the message console beside
// them, the place-order button and a tool bar (clear pending, console, settings). Several panels may
// be open at once; each listens to the manager on its own.
// Threads: onNewDatas runs on whichever thread announces records (the strand, the smart key checker's
// thread, the GUI thread), several at once; it only changes the table models, and the GUI thread
// shows the changes every 500 ms. Everything else runs on the GUI thread.
class BATCHORDER_EXPORT CBatchOrderWidget : public WQ::CBaseWidget
{
    Q_OBJECT

public:
    enum EControlId
    {
        ID_ORDER_BUTTON = 2,
        ID_SETTING_BUTTON = 3,
        ID_CLEAR_BUTTON = 7,
        ID_CONSOLE_BUTTON = 8,
        ID_PENDING_TABLE = 12,
        ID_PROCESSED_TABLE = 13,
    };

    explicit CBatchOrderWidget(QWidget* pParent = nullptr);
    ~CBatchOrderWidget() override;

protected:
    void createUi();
    // Puts each record's row into the table its current status says.
    void onNewDatas(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);
    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;
    void handlePushButtonClicked(int nId, const QString& strText);
    void resizeEvent(QResizeEvent* pEvent) override;

protected slots:
    void slotTimeout();

private:
    void hideColumn(int nColumn);
    void focusOrderButton();

    QTimer* m_pTimer = nullptr;
    CBatchOrderTableModel* m_pPendingModel = nullptr;
    CBatchOrderTableModel* m_pProcessedModel = nullptr;
    CBatchOrderSettingDialog* m_pSettingDialog = nullptr;
    CBatchOrderMessageConsole* m_pConsole = nullptr;
    WQ::CSplitButtonContainer* m_pSplitContainer = nullptr;
    WQ::CStandardHpfTable* m_pPendingTable = nullptr;
    WQ::CStandardHpfTable* m_pProcessedTable = nullptr;
    WQ::CSmallNormalButton* m_pOrderButton = nullptr;
    WQ::CStandardTabControl* m_pTabControl = nullptr;
    WQ::CAutoExpandToolBar* m_pToolBar = nullptr;

    // Shared with the connected slot, so that an announcement running on another thread while the
    // panel is destroyed finds it gone instead of touching it.
    boost::shared_ptr<CBatchOrderWidgetGuard> m_pGuard;
    boost::signals2::scoped_connection m_connection;
};

} // namespace TC
