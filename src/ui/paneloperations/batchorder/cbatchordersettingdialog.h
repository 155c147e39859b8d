#pragma once

#include "ui/ccommondialog.h"

class QFileDialog;

namespace WQ {
class CCheckBox;
class CLineEdit;
class CSimpleTextWidget;
class CSmallNormalButton;
} // namespace WQ

namespace TC {

class CDbfAlgoParamsSettingDialog;
class CShortcutKeyLineEdit;

// The panel's settings window: shortcut ordering on or off and its key, the instruction file, the
// algorithm parameter dialog, and the start and stop of monitoring. Every change is written at once
// to the user configuration; monitoring counts as running while strategy 999 runs. GUI thread only.
class CBatchOrderSettingDialog : public WQ::CCommonDialog
{
    Q_OBJECT

public:
    enum EControlId
    {
        ID_ALGO_PARAMS_TEXT = 1,
        ID_CHOOSE_PATH_BUTTON = 4,
        ID_MONITOR_BUTTON = 5,
        ID_SHORTCUT_EDIT = 9,
        ID_PATH_EDIT = 10,
        ID_SHORTCUT_CHECKBOX = 11,
    };

    explicit CBatchOrderSettingDialog(QWidget* pParent = nullptr);
    ~CBatchOrderSettingDialog() override;

    void createUi();
    // Loads the settings into the controls, enables them by the monitoring state and hands the order
    // key to the manager; called each time the dialog is shown.
    void refreshUi();

    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;

private:
    void onShortcutToggled();
    void onMonitorClicked();
    void chooseFile();
    void showAlgoParamsDialog();

    QFileDialog* m_pFileDialog = nullptr;
    CShortcutKeyLineEdit* m_pShortcutEdit = nullptr;
    CDbfAlgoParamsSettingDialog* m_pAlgoParamsDialog = nullptr;
    WQ::CCheckBox* m_pShortcutCheckBox = nullptr;
    WQ::CLineEdit* m_pPathEdit = nullptr;
    WQ::CSimpleTextWidget* m_pAlgoParamsText = nullptr;
    WQ::CSimpleTextWidget* m_pHintText = nullptr;
    WQ::CSmallNormalButton* m_pMonitorButton = nullptr;
    WQ::CSmallNormalButton* m_pChoosePathButton = nullptr;
};

} // namespace TC
