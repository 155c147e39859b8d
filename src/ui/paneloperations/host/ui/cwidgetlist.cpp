#include "ui/cwidgetlist.h"

#include <QBoxLayout>

namespace WQ {

CWidgetList::CWidgetList(Qt::Orientation eOrientation, QWidget* pParent)
    : CEventWidgetT<QWidget>(pParent), m_eOrientation(eOrientation)
{
    m_pLayout = new QBoxLayout(
        eOrientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->setSpacing(0);
}

CWidgetList::~CWidgetList() = default;

void CWidgetList::setMargin(int nMargin)
{
    setMargin(nMargin, nMargin, nMargin, nMargin);
}

void CWidgetList::setMargin(int nLeft, int nTop, int nRight, int nBottom)
{
    m_pLayout->setContentsMargins(nLeft, nTop, nRight, nBottom);
}

void CWidgetList::setSpacing(int nSpacing)
{
    m_pLayout->setSpacing(nSpacing);
}

void CWidgetList::addFixedWidget(QWidget* pWidget, int nAnchor, bool bStretch)
{
    if (!pWidget) {
        return;
    }
    const bool bHorizontal = m_eOrientation == Qt::Horizontal;
    Qt::Alignment alignment;
    switch (nAnchor) {
    case ANCHOR_START:
        alignment = bHorizontal ? Qt::AlignTop : Qt::AlignLeft;
        break;
    case ANCHOR_CENTER:
        alignment = bHorizontal ? Qt::AlignVCenter : Qt::AlignHCenter;
        break;
    case ANCHOR_END:
        alignment = bHorizontal ? Qt::AlignBottom : Qt::AlignRight;
        break;
    default: // ANCHOR_FILL: no alignment, so the layout stretches it across
        break;
    }
    QSizePolicy policy = pWidget->sizePolicy();
    if (nAnchor == ANCHOR_FILL) {
        (bHorizontal ? policy.setVerticalPolicy(QSizePolicy::Preferred)
                     : policy.setHorizontalPolicy(QSizePolicy::Preferred));
    }
    if (!bStretch) {
        (bHorizontal ? policy.setHorizontalPolicy(QSizePolicy::Fixed)
                     : policy.setVerticalPolicy(QSizePolicy::Fixed));
    }
    pWidget->setSizePolicy(policy);
    m_pLayout->addWidget(pWidget, bStretch ? 1 : 0, alignment);
}

void CWidgetList::addStretchSpace(int nStretch)
{
    m_pLayout->addStretch(nStretch);
}

void CWidgetList::addFixedSpace(int nPixels)
{
    m_pLayout->addSpacing(nPixels);
}

} // namespace WQ
