#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuiresourcechangehandler.h"

#include <QPointer>
#include <QWidget>

class QPushButton;
class QVariantAnimation;

namespace WQ {

// Two children side by side (or one above the other) where the second opens and closes beside the
// first: a toggle button on the boundary opens and closes it, and while it is open a splitter between
// the two can be dragged to resize it. The first child takes whatever the second leaves. GUI thread
// only.
class CSplitButtonContainer : public CEventWidgetT<QWidget>, public CUiResourceChangeHandler
{
    Q_OBJECT

public:
    enum ESplitterType
    {
        SPLITTER_VERTICAL = 0,   // the second child below the first
        SPLITTER_HORIZONTAL = 1, // the second child right of the first
    };
    enum EButtonStyle
    {
        BUTTON_STYLE_NONE = 0,  // no toggle button; only openAndClose opens and closes
        BUTTON_STYLE_PLAIN = 1, // a bare arrow
        BUTTON_STYLE_TAB = 2,   // an arrow on a small tab
    };
    enum EButtonAlign
    {
        BUTTON_ALIGN_START = 0,
        BUTTON_ALIGN_CENTER = 1,
        BUTTON_ALIGN_END = 2,
    };

    // nHandleWidth: thickness of the splitter in pixels; nButtonAlign: where the toggle button sits
    // along the boundary (EButtonAlign).
    CSplitButtonContainer(int nSplitterType, int nButtonStyle, int nHandleWidth, int nButtonAlign,
                          QWidget* pParent = nullptr);
    ~CSplitButtonContainer() override;

    // Installs the two children (and makes this their parent). nSecondSize is the open second child's
    // size across the boundary; with bKeepSecondSize it keeps that size when the container is resized,
    // otherwise it keeps its share.
    void addChildWidget(QWidget* pFirst, QWidget* pSecond, bool bKeepSecondSize, int nSecondSize);

    // Opens (bOpen) or closes the second child, gliding with bAnimate.
    void openAndClose(bool bAnimate, bool bOpen);
    // With bShownOnly false, the state last asked for (also while it is still gliding there); with
    // bShownOnly true, whether the second child is fully shown right now.
    bool isOpen(bool bShownOnly) const;

    // The smallest size the splitter can be dragged to for the second child, and the toggle button's
    // tip (empty: none).
    void setSplitterInfo(int nMinSecondSize, const QString& strTip);
    void setSplitterVisible(bool bVisible);

    int secondSize() const { return m_nSecondSize; }
    // Changes the open second child's size (shown at once when it is open).
    void setSecondSize(int nSize);

    void themeChanged() override;
    void scaleChanged() override;

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    bool horizontal() const { return m_nSplitterType == SPLITTER_HORIZONTAL; }
    int length() const { return horizontal() ? width() : height(); }
    void layoutChildren();
    void restyle();
    void setShownSize(int nSize);
    void onToggleClicked();

    int m_nSplitterType = SPLITTER_HORIZONTAL;
    int m_nButtonStyle = BUTTON_STYLE_TAB;
    int m_nHandleWidth = 2;
    int m_nButtonAlign = BUTTON_ALIGN_CENTER;
    QPointer<QWidget> m_pFirst;
    QPointer<QWidget> m_pSecond;
    QWidget* m_pHandle = nullptr;
    QPushButton* m_pToggleButton = nullptr; // styled here, so not a host button
    QVariantAnimation* m_pAnimation = nullptr;
    bool m_bKeepSecondSize = true;
    bool m_bOpen = true;
    bool m_bSplitterVisible = true;
    int m_nSecondSize = 0; // the open size
    int m_nShownSize = 0;  // the size shown now (differs from the open size while gliding)
    int m_nMinSecondSize = 0;
    int m_nDragOffset = -1; // while dragging: the press position within the handle
};

} // namespace WQ
