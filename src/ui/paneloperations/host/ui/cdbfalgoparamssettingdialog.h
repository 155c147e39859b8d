#pragma once

#include "ui/ccommondialog.h"

class QTableWidget;

namespace WQ {
class CSimpleTextWidget;
}

namespace TC {

// The algorithm parameter dialog: lists the algorithm settings by price-type code (code, algorithm
// name, algorithm order type, price type) and lets the user change, add and remove them. Saving hands
// them to CUserConfig::setDbfAlgoParams, so they apply at once and are kept in user.ini. The list is
// read again each time the dialog is shown. GUI thread only.
class CDbfAlgoParamsSettingDialog : public WQ::CCommonDialog
{
    Q_OBJECT

public:
    enum EButtonId
    {
        BUTTON_ADD = 1,
        BUTTON_REMOVE = 2,
        BUTTON_SAVE = 3,
        BUTTON_CLOSE = 4,
    };
    enum EColumn
    {
        COLUMN_CODE = 0,
        COLUMN_NAME = 1,
        COLUMN_ORDER_TYPE = 2,
        COLUMN_PRICE_TYPE = 3,
    };

    explicit CDbfAlgoParamsSettingDialog(QWidget* pParent = nullptr);
    ~CDbfAlgoParamsSettingDialog() override;

    // Fills the list from the user configuration, dropping unsaved edits.
    void reload();
    // Adds a row for the first price-type code without a setting.
    void addRow();
    void removeCurrentRow();
    // Saves the list; false (with the reason shown in the dialog) when the configuration refused it.
    bool save();

    QTableWidget* table() const { return m_pTable; }
    QString hintText() const;

    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;
    void themeChanged() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void createUi();
    void appendRow(const QString& strCode, const QString& strName, int nOrderType, int nPriceType);
    void showHint(const QString& strText, bool bError);

    QTableWidget* m_pTable = nullptr;
    WQ::CSimpleTextWidget* m_pHint = nullptr;
};

} // namespace TC
