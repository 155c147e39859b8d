#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuiresourcechangehandler.h"

#include <QList>
#include <QWidget>

namespace WQ {

class CPushButton;

// A tool strip: items from the left (or, for items added with bRight, from the right), each at its
// own width and the strip's item height, centred vertically. Items that do not fit are hidden and
// offered instead in the menu of an overflow button at the right end, so a narrow panel loses no
// action. Events of the items pass through it to the enclosing deliverer. GUI thread only.
class CAutoExpandToolBar : public CEventWidgetT<QWidget>, public CUiResourceChangeHandler
{
    Q_OBJECT

public:
    CAutoExpandToolBar(QWidget* pParent, int nItemHeight);
    ~CAutoExpandToolBar() override;

    void addToolItem(QWidget* pWidget, bool bRight);
    void addFixedSpace(int nPixels);
    void addSeperator();

    // The items currently moved to the overflow menu, in strip order.
    QList<QWidget*> overflowItems() const;

    void themeChanged() override;
    void scaleChanged() override;

protected:
    bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    struct CItem
    {
        QWidget* m_pWidget = nullptr; // null for a fixed space
        int m_nSpace = 0;
        bool m_bRight = false;
        bool m_bOverflow = false;
    };

    void layoutItems();
    void showOverflowMenu();
    int itemWidth(const CItem& item) const;

    int m_nItemHeight = 0;
    QList<CItem> m_items;
    CPushButton* m_pOverflowButton = nullptr;
};

} // namespace WQ
