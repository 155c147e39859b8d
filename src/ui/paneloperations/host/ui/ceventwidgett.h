#pragma once

#include "ui/ceventdeliverer.h"
#include "ui/eeventtype.h"

#include <QEvent>
#include <QFocusEvent>
#include <QHideEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWidget>

namespace WQ {

// A Qt widget class T that takes part in the host's event routing: its parent deliverer is the nearest
// deliverer above it, it reports taking the focus, and it can hold one content widget that it keeps
// centred or, with the fill flag, stretched over itself less the margins. GUI thread only.
template <class T> class CEventWidgetT : public T, public CEventDeliverer
{
public:
    explicit CEventWidgetT(QWidget* pParent = nullptr) : T(pParent), CEventDeliverer(pParent) {}

    // Installs pWidget as the content widget (and makes this its parent); null removes it.
    void setContentWidget(QWidget* pWidget, int nLeft = 0, int nTop = 0, int nRight = 0, int nBottom = 0,
                          bool bFill = true)
    {
        m_pContentWidget = pWidget;
        m_nLeft = nLeft;
        m_nTop = nTop;
        m_nRight = nRight;
        m_nBottom = nBottom;
        m_bFill = bFill;
        if (pWidget) {
            pWidget->setParent(this);
            placeContentWidget(this->size());
            pWidget->show();
        }
    }
    QWidget* contentWidget() const { return m_pContentWidget; }
    void setContentMargins(int nLeft, int nTop, int nRight, int nBottom)
    {
        m_nLeft = nLeft;
        m_nTop = nTop;
        m_nRight = nRight;
        m_nBottom = nBottom;
        placeContentWidget(this->size());
    }
    bool isShown() const { return m_bShown; }

protected:
    void focusInEvent(QFocusEvent* pEvent) override
    {
        T::focusInEvent(pEvent);
        deliverEvent(EVENT_FOCUS_IN, 0, 0, QString(), static_cast<QWidget*>(this));
    }

    void resizeEvent(QResizeEvent* pEvent) override
    {
        T::resizeEvent(pEvent);
        placeContentWidget(pEvent->size());
    }

    void showEvent(QShowEvent* pEvent) override
    {
        T::showEvent(pEvent);
        m_bShown = true;
    }

    void hideEvent(QHideEvent* pEvent) override
    {
        T::hideEvent(pEvent);
        m_bShown = false;
    }

    void changeEvent(QEvent* pEvent) override
    {
        T::changeEvent(pEvent);
        if (pEvent->type() == QEvent::ParentChange) {
            resetParentDeliverer(this->parentWidget());
        }
    }

private:
    void placeContentWidget(const QSize& size)
    {
        QWidget* pContent = m_pContentWidget.data();
        if (!pContent) {
            return;
        }
        if (m_bFill) {
            pContent->setGeometry(m_nLeft, m_nTop, size.width() - m_nLeft - m_nRight,
                                  size.height() - m_nTop - m_nBottom);
        } else {
            pContent->move((size.width() - pContent->width()) / 2, (size.height() - pContent->height()) / 2);
        }
    }

    QPointer<QWidget> m_pContentWidget;
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nRight = 0;
    int m_nBottom = 0;
    bool m_bFill = false;
    bool m_bShown = false;
};

} // namespace WQ
