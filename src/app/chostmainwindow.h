#pragma once

#include "ui/cuiresourcechangehandler.h"

#include <QMainWindow>

class QAction;
class QDockWidget;
class QLabel;
class QTimer;

namespace WQ {
class CSplitButtonContainer;
}

namespace TC {

class CBatchOrderWidget;
class CDbfAlgoParamsSettingDialog;
class CJournalView;

// The reference host's window: the batch order panel in the middle, the paper broker's journal in a
// dock below it, a menu (settings, algorithm parameters, theme, quit) and a status bar (monitoring
// state, instruction file, pending instructions). Its layout, the console's state and the theme are
// kept in the user configuration. GUI thread only.
class CHostMainWindow : public QMainWindow, public WQ::CUiResourceChangeHandler
{
    Q_OBJECT

public:
    explicit CHostMainWindow(const QString& strJournalPath, QWidget* pParent = nullptr);
    ~CHostMainWindow() override;

    CBatchOrderWidget* panel() const { return m_pPanel; }
    CJournalView* journalView() const { return m_pJournalView; }

    // Opens the panel's settings dialog, as its settings button does.
    void openSettings();
    void openAlgoParams();
    void setLightTheme(bool bLight);
    // Reads the monitoring state, the instruction file and the pending count into the status bar.
    void updateStatus();
    QString statusText() const;

    void themeChanged() override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void createMenus();
    void createStatusBar();
    void restoreLayout();
    void saveLayout();
    WQ::CSplitButtonContainer* consoleContainer() const;

    CBatchOrderWidget* m_pPanel = nullptr;
    CJournalView* m_pJournalView = nullptr;
    QDockWidget* m_pJournalDock = nullptr;
    CDbfAlgoParamsSettingDialog* m_pAlgoParamsDialog = nullptr;
    QAction* m_pDarkAction = nullptr;
    QAction* m_pLightAction = nullptr;
    QLabel* m_pMonitorLabel = nullptr;
    QLabel* m_pPathLabel = nullptr;
    QLabel* m_pPendingLabel = nullptr;
    QTimer* m_pStatusTimer = nullptr;
};

} // namespace TC
