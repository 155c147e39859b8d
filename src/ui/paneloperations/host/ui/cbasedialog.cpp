#include "ui/cbasedialog.h"

namespace WQ {

CBaseDialog::CBaseDialog(QWidget* pParent) : CEventWidgetT<QDialog>(pParent)
{
}

CBaseDialog::~CBaseDialog() = default;

bool CBaseDialog::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    if (nType == EVENT_BUTTON_CLICKED && nId == kCloseButtonId) {
        reject();
        return true;
    }
    return CEventWidgetT<QDialog>::handleEvent(nType, nId, nParam, strText, pData);
}

} // namespace WQ
