#pragma once

#include "ui/ceventwidgett.h"

#include <QWidget>

class QBoxLayout;

namespace WQ {

// A row (horizontal) or column (vertical) of widgets with margins and spacing. Each widget keeps its
// own size along the list; across the list its anchor places it: ANCHOR_START (left or top),
// ANCHOR_CENTER, ANCHOR_END (right or bottom) or ANCHOR_FILL (stretched over the list's breadth).
// Events of the widgets pass through it to the enclosing deliverer. GUI thread only.
class CWidgetList : public CEventWidgetT<QWidget>
{
    Q_OBJECT

public:
    enum EAnchor
    {
        ANCHOR_START = 0,
        ANCHOR_CENTER = 1,
        ANCHOR_END = 2,
        ANCHOR_FILL = 3,
    };

    explicit CWidgetList(Qt::Orientation eOrientation, QWidget* pParent = nullptr);
    ~CWidgetList() override;

    void setMargin(int nMargin);
    void setMargin(int nLeft, int nTop, int nRight, int nBottom);
    void setSpacing(int nSpacing);
    // Appends pWidget (and makes this list its parent). With bStretch it also takes a share of the
    // spare length along the list.
    void addFixedWidget(QWidget* pWidget, int nAnchor, bool bStretch);
    // Appends an empty space that takes nStretch shares of the spare length.
    void addStretchSpace(int nStretch);
    // Appends a fixed empty space of nPixels.
    void addFixedSpace(int nPixels);

private:
    Qt::Orientation m_eOrientation;
    QBoxLayout* m_pLayout = nullptr;
};

} // namespace WQ
