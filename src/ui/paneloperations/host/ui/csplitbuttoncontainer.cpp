#include "ui/csplitbuttoncontainer.h"

#include "ui/cuiresource.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QVariantAnimation>

#include <algorithm>

namespace WQ {

namespace {

const int kGlideMs = 150;

} // namespace

CSplitButtonContainer::CSplitButtonContainer(int nSplitterType, int nButtonStyle, int nHandleWidth,
                                             int nButtonAlign, QWidget* pParent)
    : CEventWidgetT<QWidget>(pParent), m_nSplitterType(nSplitterType), m_nButtonStyle(nButtonStyle),
      m_nHandleWidth(std::max(0, nHandleWidth)), m_nButtonAlign(nButtonAlign)
{
    m_pHandle = new QWidget(this);
    m_pHandle->setCursor(horizontal() ? Qt::SplitHCursor : Qt::SplitVCursor);
    m_pHandle->setAutoFillBackground(true);
    m_pHandle->installEventFilter(this);

    m_pToggleButton = new QPushButton(this);
    m_pToggleButton->setFocusPolicy(Qt::NoFocus);
    m_pToggleButton->setCursor(Qt::PointingHandCursor);
    connect(m_pToggleButton, &QPushButton::clicked, this, &CSplitButtonContainer::onToggleClicked);
    m_pToggleButton->setVisible(m_nButtonStyle != BUTTON_STYLE_NONE);

    m_pAnimation = new QVariantAnimation(this);
    m_pAnimation->setDuration(kGlideMs);
    m_pAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_pAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setShownSize(value.toInt()); });
    restyle();
}

CSplitButtonContainer::~CSplitButtonContainer() = default;

void CSplitButtonContainer::addChildWidget(QWidget* pFirst, QWidget* pSecond, bool bKeepSecondSize,
                                           int nSecondSize)
{
    m_pFirst = pFirst;
    m_pSecond = pSecond;
    m_bKeepSecondSize = bKeepSecondSize;
    m_nSecondSize = std::max(0, nSecondSize);
    m_nShownSize = m_bOpen ? m_nSecondSize : 0;
    for (QWidget* pChild : {pFirst, pSecond}) {
        if (pChild) {
            pChild->setParent(this);
            pChild->show();
        }
    }
    m_pHandle->raise();
    m_pToggleButton->raise();
    layoutChildren();
}

void CSplitButtonContainer::openAndClose(bool bAnimate, bool bOpen)
{
    m_bOpen = bOpen;
    m_pAnimation->stop();
    const int nTarget = bOpen ? m_nSecondSize : 0;
    if (bAnimate && isVisible() && m_nShownSize != nTarget) {
        m_pAnimation->setStartValue(m_nShownSize);
        m_pAnimation->setEndValue(nTarget);
        m_pAnimation->start();
    } else {
        setShownSize(nTarget);
    }
    restyle();
}

bool CSplitButtonContainer::isOpen(bool bShownOnly) const
{
    if (!bShownOnly) {
        return m_bOpen;
    }
    return m_bOpen && m_nShownSize == m_nSecondSize && m_pAnimation->state() != QAbstractAnimation::Running;
}

void CSplitButtonContainer::setSecondSize(int nSize)
{
    m_nSecondSize = std::max(m_nMinSecondSize, nSize);
    if (m_bOpen && m_pAnimation->state() != QAbstractAnimation::Running) {
        setShownSize(m_nSecondSize);
    }
}

void CSplitButtonContainer::setSplitterInfo(int nMinSecondSize, const QString& strTip)
{
    m_nMinSecondSize = std::max(0, nMinSecondSize);
    m_pToggleButton->setToolTip(strTip);
}

void CSplitButtonContainer::setSplitterVisible(bool bVisible)
{
    m_bSplitterVisible = bVisible;
    layoutChildren();
}

void CSplitButtonContainer::themeChanged()
{
    restyle();
}

void CSplitButtonContainer::scaleChanged()
{
    restyle();
}

void CSplitButtonContainer::onToggleClicked()
{
    openAndClose(true, !m_bOpen);
}

void CSplitButtonContainer::resizeEvent(QResizeEvent* pEvent)
{
    const int nOldLength = horizontal() ? pEvent->oldSize().width() : pEvent->oldSize().height();
    CEventWidgetT<QWidget>::resizeEvent(pEvent);
    if (!m_bKeepSecondSize && nOldLength > 0 && m_nSecondSize > 0) {
        m_nSecondSize = m_nSecondSize * length() / nOldLength;
        if (m_bOpen && m_pAnimation->state() != QAbstractAnimation::Running) {
            m_nShownSize = m_nSecondSize;
        }
    }
    layoutChildren();
}

bool CSplitButtonContainer::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched != m_pHandle) {
        return CEventWidgetT<QWidget>::eventFilter(pWatched, pEvent);
    }
    switch (pEvent->type()) {
    case QEvent::MouseButtonPress: {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (pMouse->button() == Qt::LeftButton) {
            m_nDragOffset = horizontal() ? pMouse->pos().x() : pMouse->pos().y();
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        if (m_nDragOffset < 0) {
            break;
        }
        const QPoint pos = mapFromGlobal(static_cast<QMouseEvent*>(pEvent)->globalPos());
        const int nBoundary = (horizontal() ? pos.x() : pos.y()) - m_nDragOffset;
        const int nMinFirst = m_pToggleButton->isVisible()
                                  ? (horizontal() ? m_pToggleButton->width() : m_pToggleButton->height())
                                  : 0;
        const int nMax = std::max(m_nMinSecondSize, length() - m_nHandleWidth - nMinFirst);
        m_nSecondSize = std::clamp(length() - m_nHandleWidth - nBoundary, m_nMinSecondSize, nMax);
        setShownSize(m_nSecondSize);
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_nDragOffset = -1;
        break;
    default:
        break;
    }
    return CEventWidgetT<QWidget>::eventFilter(pWatched, pEvent);
}

void CSplitButtonContainer::setShownSize(int nSize)
{
    m_nShownSize = nSize;
    layoutChildren();
}

void CSplitButtonContainer::layoutChildren()
{
    const int nLength = length();
    const int nBreadth = horizontal() ? height() : width();
    const int nShown = std::clamp(m_nShownSize, 0, nLength);
    const bool bSecondShown = nShown > 0 && m_pSecond;
    const int nHandle = (bSecondShown && m_bSplitterVisible) ? m_nHandleWidth : 0;
    const int nBoundary = nLength - nShown - nHandle; // where the first child ends

    auto place = [&](QWidget* pWidget, int nStart, int nSize) {
        if (!pWidget) {
            return;
        }
        if (horizontal()) {
            pWidget->setGeometry(nStart, 0, nSize, nBreadth);
        } else {
            pWidget->setGeometry(0, nStart, nBreadth, nSize);
        }
    };
    place(m_pFirst, 0, std::max(0, nBoundary));
    if (m_pSecond) {
        m_pSecond->setVisible(bSecondShown);
        place(m_pSecond, nLength - nShown, nShown);
    }
    m_pHandle->setVisible(nHandle > 0);
    place(m_pHandle, nBoundary, nHandle);

    // The toggle button sits on the first child's side of the boundary.
    const QSize button = m_pToggleButton->size();
    const int nButtonLength = horizontal() ? button.width() : button.height();
    const int nButtonBreadth = horizontal() ? button.height() : button.width();
    int nAcross = (nBreadth - nButtonBreadth) / 2;
    if (m_nButtonAlign == BUTTON_ALIGN_START) {
        nAcross = 0;
    } else if (m_nButtonAlign == BUTTON_ALIGN_END) {
        nAcross = nBreadth - nButtonBreadth;
    }
    const int nAlong = std::max(0, nBoundary - nButtonLength);
    m_pToggleButton->move(horizontal() ? QPoint(nAlong, nAcross) : QPoint(nAcross, nAlong));
}

void CSplitButtonContainer::restyle()
{
    CUiResource* pRes = CUiResource::instance();
    QPalette pal = m_pHandle->palette();
    pal.setColor(QPalette::Window, pRes->getColor(QStringLiteral("clr_splitter")));
    m_pHandle->setPalette(pal);

    // The arrow shows which way the boundary moves when clicked.
    const char* szArrow = horizontal() ? (m_bOpen ? "tc_img_arrow_right" : "tc_img_arrow_left")
                                       : (m_bOpen ? "tc_img_arrow_down" : "tc_img_arrow_up");
    const QPixmap arrow = pRes->getImage(QLatin1String(szArrow));
    m_pToggleButton->setIcon(QIcon(arrow));
    m_pToggleButton->setIconSize(arrow.size());
    const int nLong = pRes->getSize(QStringLiteral("tc_siz_split_button_height"));
    const int nShort = pRes->getSize(QStringLiteral("tc_siz_split_button_width"));
    m_pToggleButton->setFixedSize(horizontal() ? QSize(nShort, nLong) : QSize(nLong, nShort));
    const bool bTab = m_nButtonStyle == BUTTON_STYLE_TAB;
    m_pToggleButton->setStyleSheet(
        QStringLiteral("QPushButton {background: %1; border: %2; border-radius: 0px;}"
                       "QPushButton:hover {background: %3;}")
            .arg(bTab ? pRes->getColorSheetByKey(QStringLiteral("clr_split_button_background"))
                      : QStringLiteral("transparent"),
                 bTab ? QStringLiteral("1px solid ") +
                            pRes->getColorSheetByKey(QStringLiteral("clr_border_default"))
                      : QStringLiteral("none"),
                 pRes->getColorSheetByKey(QStringLiteral("clr_button_hover"))));
    layoutChildren();
}

} // namespace WQ
