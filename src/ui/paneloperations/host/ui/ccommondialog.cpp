#include "ui/ccommondialog.h"

#include "ui/cpushbutton.h"
#include "ui/cuiresource.h"

#include <QMouseEvent>
#include <QPainter>

namespace WQ {

CCommonDialog::CCommonDialog(QWidget* pParent) : CBaseDialog(pParent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    m_pCloseButton = new CPushButton(QStringLiteral("tc_img_dialog_close"), kCloseButtonId, this);
    m_pCloseButton->setFocusPolicy(Qt::NoFocus);
    restyle();
}

CCommonDialog::~CCommonDialog() = default;

void CCommonDialog::setTitle(const QString& strTitle)
{
    m_strTitle = strTitle;
    setWindowTitle(strTitle);
    update();
}

void CCommonDialog::setInnerWidget(QWidget* pWidget)
{
    m_pInnerWidget = pWidget;
    setContentWidget(pWidget, 1, titleHeight(), 1, 1, true);
    m_pCloseButton->raise();
}

void CCommonDialog::setFixFont()
{
    update();
}

void CCommonDialog::themeChanged()
{
    restyle();
}

void CCommonDialog::scaleChanged()
{
    restyle();
}

int CCommonDialog::titleHeight() const
{
    return CUiResource::instance()->getSize(QStringLiteral("tc_siz_dialog_title_height"));
}

void CCommonDialog::restyle()
{
    setContentMargins(1, titleHeight(), 1, 1);
    const int nButton = CUiResource::instance()->getSize(QStringLiteral("tc_siz_dialog_close_button"));
    m_pCloseButton->setFixedSize(nButton, nButton);
    m_pCloseButton->move(width() - nButton - (titleHeight() - nButton) / 2, (titleHeight() - nButton) / 2);
    update();
}

void CCommonDialog::paintEvent(QPaintEvent* pEvent)
{
    CBaseDialog::paintEvent(pEvent);
    const CUiResource* pRes = CUiResource::instance();
    QPainter painter(this);
    const QRect all = rect();
    const QRect titleBar(0, 0, width(), titleHeight());
    painter.fillRect(all, pRes->getColor(QStringLiteral("clr_dialog_background")));
    painter.fillRect(titleBar, pRes->getColor(QStringLiteral("clr_title_background")));
    painter.setPen(pRes->getColor(QStringLiteral("clr_title_text")));
    painter.setFont(pRes->getFont(QStringLiteral("fnt_title")));
    const int nPadding = pRes->getSize(QStringLiteral("tc_siz_text_padding")) * 2;
    painter.drawText(titleBar.adjusted(nPadding, 0, -titleHeight(), 0), Qt::AlignLeft | Qt::AlignVCenter,
                     m_strTitle);
    painter.setPen(pRes->getColor(QStringLiteral("clr_border_default")));
    painter.drawRect(all.adjusted(0, 0, -1, -1));
}

void CCommonDialog::resizeEvent(QResizeEvent* pEvent)
{
    CBaseDialog::resizeEvent(pEvent);
    restyle();
}

void CCommonDialog::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton && pEvent->pos().y() < titleHeight()) {
        m_bDragging = true;
        m_dragOffset = pEvent->globalPos() - frameGeometry().topLeft();
        pEvent->accept();
        return;
    }
    CBaseDialog::mousePressEvent(pEvent);
}

void CCommonDialog::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_bDragging) {
        move(pEvent->globalPos() - m_dragOffset);
        pEvent->accept();
        return;
    }
    CBaseDialog::mouseMoveEvent(pEvent);
}

void CCommonDialog::mouseReleaseEvent(QMouseEvent* pEvent)
{
    m_bDragging = false;
    CBaseDialog::mouseReleaseEvent(pEvent);
}

} // namespace WQ
