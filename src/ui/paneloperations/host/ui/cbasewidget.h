#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuiresourcechangehandler.h"

#include <QWidget>

namespace WQ {

// Base of the host's panels: a named widget that routes events, keeps a content widget over itself and
// restyles on theme and scale changes. With bFillBackground it paints its own background in the panel
// colour. GUI thread only.
class CBaseWidget : public CEventWidgetT<QWidget>, public CUiResourceChangeHandler
{
    Q_OBJECT

public:
    CBaseWidget(const QString& strName, bool bFillBackground, QWidget* pParent = nullptr);
    ~CBaseWidget() override;

    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;
    void themeChanged() override;

private:
    bool m_bFillBackground = false;
};

} // namespace WQ
