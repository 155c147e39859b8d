#include "ui/cautoexpandtoolbar.h"

#include "ui/cpushbutton.h"
#include "ui/cuiresource.h"

#include <QAbstractButton>
#include <QFrame>
#include <QMenu>
#include <QPointer>

namespace WQ {

namespace {

const int kOverflowButtonId = -1;

} // namespace

CAutoExpandToolBar::CAutoExpandToolBar(QWidget* pParent, int nItemHeight)
    : CEventWidgetT<QWidget>(pParent), m_nItemHeight(nItemHeight)
{
    m_pOverflowButton = new CPushButton(QStringLiteral("tc_img_toolbar_more"), kOverflowButtonId, this);
    m_pOverflowButton->hide();
}

CAutoExpandToolBar::~CAutoExpandToolBar() = default;

void CAutoExpandToolBar::addToolItem(QWidget* pWidget, bool bRight)
{
    if (!pWidget) {
        return;
    }
    pWidget->setParent(this);
    pWidget->show();
    CItem item;
    item.m_pWidget = pWidget;
    item.m_bRight = bRight;
    m_items.append(item);
    layoutItems();
}

void CAutoExpandToolBar::addFixedSpace(int nPixels)
{
    CItem item;
    item.m_nSpace = nPixels;
    m_items.append(item);
    layoutItems();
}

void CAutoExpandToolBar::addSeperator()
{
    auto* pLine = new QFrame(this);
    pLine->setFrameShape(QFrame::VLine);
    pLine->setFixedWidth(1);
    pLine->setAutoFillBackground(true);
    addToolItem(pLine, false);
    themeChanged();
}

QList<QWidget*> CAutoExpandToolBar::overflowItems() const
{
    QList<QWidget*> result;
    for (const CItem& item : m_items) {
        if (item.m_pWidget && item.m_bOverflow) {
            result.append(item.m_pWidget);
        }
    }
    return result;
}

void CAutoExpandToolBar::themeChanged()
{
    const QColor& color = CUiResource::instance()->getColor(QStringLiteral("clr_border_default"));
    for (const CItem& item : qAsConst(m_items)) {
        if (auto* pLine = qobject_cast<QFrame*>(item.m_pWidget)) {
            QPalette pal = pLine->palette();
            pal.setColor(QPalette::Window, color);
            pal.setColor(QPalette::WindowText, color);
            pLine->setPalette(pal);
        }
    }
}

void CAutoExpandToolBar::scaleChanged()
{
    layoutItems();
}

bool CAutoExpandToolBar::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    if (nType == EVENT_BUTTON_CLICKED && nId == kOverflowButtonId && pData == m_pOverflowButton) {
        showOverflowMenu();
        return true;
    }
    return CEventWidgetT<QWidget>::handleEvent(nType, nId, nParam, strText, pData);
}

void CAutoExpandToolBar::resizeEvent(QResizeEvent* pEvent)
{
    CEventWidgetT<QWidget>::resizeEvent(pEvent);
    layoutItems();
}

int CAutoExpandToolBar::itemWidth(const CItem& item) const
{
    if (!item.m_pWidget) {
        return item.m_nSpace;
    }
    const int nFixed = item.m_pWidget->minimumWidth() == item.m_pWidget->maximumWidth()
                           ? item.m_pWidget->minimumWidth()
                           : item.m_pWidget->sizeHint().width();
    return nFixed;
}

void CAutoExpandToolBar::layoutItems()
{
    const int nSpacing = CUiResource::instance()->getSize(QStringLiteral("tc_siz_toolbar_spacing"));
    const int nHeight = height();
    const int nOverflowWidth = m_pOverflowButton->width();

    // Right-anchored items first, from the right end, then the others from the left; from the first
    // item that does not fit on, the rest of its side overflows. Room for the overflow button is kept
    // only once something overflows.
    auto place = [&](int nReserve) {
        int nLeft = 0;
        int nRight = width() - nReserve;
        bool bAnyOverflow = false;
        for (const bool bRightSide : {true, false}) {
            bool bFull = false;
            for (int i = 0; i < m_items.size(); ++i) {
                CItem& item = m_items[bRightSide ? m_items.size() - 1 - i : i];
                if (item.m_bRight != bRightSide) {
                    continue;
                }
                const int nWidth = itemWidth(item);
                bFull = bFull || nLeft + nWidth > nRight;
                item.m_bOverflow = bFull && item.m_pWidget;
                bAnyOverflow = bAnyOverflow || item.m_bOverflow;
                if (bFull) {
                    continue;
                }
                const int nX = bRightSide ? nRight - nWidth : nLeft;
                if (item.m_pWidget) {
                    const int nItemHeight = std::min(m_nItemHeight > 0 ? m_nItemHeight : nHeight,
                                                     item.m_pWidget->maximumHeight());
                    item.m_pWidget->setGeometry(nX, (nHeight - nItemHeight) / 2, nWidth, nItemHeight);
                }
                if (bRightSide) {
                    nRight -= nWidth + nSpacing;
                } else {
                    nLeft += nWidth + nSpacing;
                }
            }
        }
        return bAnyOverflow;
    };
    const bool bOverflow = place(0) && place(nOverflowWidth + nSpacing);
    for (const CItem& item : qAsConst(m_items)) {
        if (item.m_pWidget) {
            item.m_pWidget->setVisible(!item.m_bOverflow);
        }
    }
    m_pOverflowButton->setVisible(bOverflow);
    m_pOverflowButton->move(width() - nOverflowWidth, (nHeight - m_pOverflowButton->height()) / 2);
}

void CAutoExpandToolBar::showOverflowMenu()
{
    QMenu menu(this);
    for (QWidget* pWidget : overflowItems()) {
        auto* pButton = qobject_cast<QAbstractButton*>(pWidget);
        if (!pButton) {
            continue;
        }
        QAction* pAction =
            menu.addAction(pButton->icon(), pButton->text().isEmpty() ? pButton->toolTip() : pButton->text());
        QPointer<QAbstractButton> pGuarded(pButton);
        connect(pAction, &QAction::triggered, pButton, [pGuarded] {
            if (pGuarded) {
                pGuarded->click();
            }
        });
    }
    menu.exec(m_pOverflowButton->mapToGlobal(QPoint(0, m_pOverflowButton->height())));
}

} // namespace WQ
