#include "ui/cbasewidget.h"

#include "ui/cuiresource.h"

namespace WQ {

CBaseWidget::CBaseWidget(const QString& strName, bool bFillBackground, QWidget* pParent)
    : CEventWidgetT<QWidget>(pParent), m_bFillBackground(bFillBackground)
{
    setObjectName(strName);
    themeChanged();
}

CBaseWidget::~CBaseWidget() = default;

bool CBaseWidget::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    return CEventWidgetT<QWidget>::handleEvent(nType, nId, nParam, strText, pData);
}

void CBaseWidget::themeChanged()
{
    if (m_bFillBackground) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window,
                     CUiResource::instance()->getColor(QStringLiteral("clr_panel_background")));
        setPalette(pal);
        setAutoFillBackground(true);
    }
    update();
}

} // namespace WQ
