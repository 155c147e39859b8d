#include "ui/csimpletextwidget.h"

#include "ui/cuiresource.h"

#include <QMouseEvent>

namespace WQ {

CSimpleTextWidget::CSimpleTextWidget(const QString& strText, QWidget* pParent)
    : CSimpleTextWidget(false, 0, strText, pParent)
{
}

CSimpleTextWidget::CSimpleTextWidget(bool bClickable, int nId, const QString& strText, QWidget* pParent)
    : CEventWidgetT<QLabel>(pParent), m_bClickable(bClickable), m_nId(nId)
{
    setText(strText);
    setTextFormat(Qt::PlainText);
    if (bClickable) {
        setCursor(Qt::PointingHandCursor);
    }
    restyle();
}

CSimpleTextWidget::~CSimpleTextWidget() = default;

void CSimpleTextWidget::setColorKey(const QString& strKey)
{
    m_strColorKey = strKey;
    restyle();
}

void CSimpleTextWidget::setFontKey(const QString& strKey)
{
    m_strFontKey = strKey;
    restyle();
}

void CSimpleTextWidget::mousePressEvent(QMouseEvent* pEvent)
{
    CEventWidgetT<QLabel>::mousePressEvent(pEvent);
    m_bPressed = m_bClickable && pEvent->button() == Qt::LeftButton;
}

void CSimpleTextWidget::mouseReleaseEvent(QMouseEvent* pEvent)
{
    CEventWidgetT<QLabel>::mouseReleaseEvent(pEvent);
    const bool bClick = m_bPressed && pEvent->button() == Qt::LeftButton && rect().contains(pEvent->pos());
    m_bPressed = false;
    if (bClick) {
        deliverEvent(EVENT_TEXT_CLICKED, m_nId, 0, text(), this);
    }
}

void CSimpleTextWidget::enterEvent(QEvent* pEvent)
{
    CEventWidgetT<QLabel>::enterEvent(pEvent);
    m_bHovered = true;
    restyle();
}

void CSimpleTextWidget::leaveEvent(QEvent* pEvent)
{
    CEventWidgetT<QLabel>::leaveEvent(pEvent);
    m_bHovered = false;
    restyle();
}

void CSimpleTextWidget::restyle()
{
    const CUiResource* pRes = CUiResource::instance();
    QFont font = pRes->getFont(m_strFontKey);
    font.setUnderline(m_bClickable && m_bHovered);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, pRes->getColor(m_strColorKey));
    pal.setColor(QPalette::Disabled, QPalette::WindowText,
                 pRes->getColor(QStringLiteral("clr_text_disabled")));
    setPalette(pal);
}

} // namespace WQ
