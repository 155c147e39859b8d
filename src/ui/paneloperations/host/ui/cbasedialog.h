#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuiresourcechangehandler.h"

#include <QDialog>

namespace WQ {

// Base of the host's dialogs: a QDialog that routes events and restyles on theme and scale changes.
// A click on a button with the id kCloseButtonId closes it (reject); every other event goes on to the
// parent deliverer. GUI thread only.
class CBaseDialog : public CEventWidgetT<QDialog>, public CUiResourceChangeHandler
{
    Q_OBJECT

public:
    static constexpr int kCloseButtonId = -100;

    explicit CBaseDialog(QWidget* pParent = nullptr);
    ~CBaseDialog() override;

    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;
};

} // namespace WQ
