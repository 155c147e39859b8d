#include "ui/cstandardtabcontrol.h"

#include "ui/cuiresource.h"

#include <QHBoxLayout>
#include <QTabBar>

namespace WQ {

CStandardTabControl::CStandardTabControl(QWidget* pParent) : CEventWidgetT<QTabWidget>(pParent)
{
    setDocumentMode(true);
    tabBar()->setExpanding(false);
    tabBar()->setDrawBase(false);
    connect(this, &QTabWidget::currentChanged, this, &CStandardTabControl::onCurrentChanged);
    restyle();
}

CStandardTabControl::~CStandardTabControl()
{
    // The pages go with the QTabWidget base, which reports the current tab changing as they do.
    disconnect(this, &QTabWidget::currentChanged, this, nullptr);
}

int CStandardTabControl::addTabWidget(const QString& strTitle, QWidget* pWidget, QList<QWidget*>* pButtons)
{
    QWidget* pCorner = nullptr;
    if (pButtons && !pButtons->isEmpty()) {
        pCorner = new QWidget(this);
        auto* pLayout = new QHBoxLayout(pCorner);
        pLayout->setContentsMargins(0, 0, 0, 0);
        for (QWidget* pButton : qAsConst(*pButtons)) {
            pLayout->addWidget(pButton);
        }
        pCorner->hide();
    }
    m_cornerWidgets.append(pCorner);
    const int nIndex = addTab(pWidget, strTitle);
    onCurrentChanged(currentIndex());
    return nIndex;
}

void CStandardTabControl::restyle()
{
    const CUiResource* pRes = CUiResource::instance();
    tabBar()->setFont(pRes->getFont(QStringLiteral("fnt_default_normal_fix")));
    // Styled on the bar alone: a style sheet on the tab control would reach every page below it.
    tabBar()->setStyleSheet(
        QStringLiteral("QTabBar {background: %1;}"
                       "QTabBar::tab {background: %1; color: %2; height: %3px; min-width: %4px;"
                       " padding: 0px %5px; border: none; border-bottom: 2px solid transparent;}"
                       "QTabBar::tab:selected {background: %6; color: %7; border-bottom-color: %8;}")
            .arg(pRes->getColorSheetByKey(QStringLiteral("clr_tab_background")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_tab_text")))
            .arg(pRes->getSize(QStringLiteral("tc_siz_tab_height")) - 2)
            .arg(pRes->getSize(QStringLiteral("tc_siz_tab_min_width")))
            .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding")) * 2)
            .arg(pRes->getColorSheetByKey(QStringLiteral("clr_tab_selected_background")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_tab_selected_text")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_tab_selected_line"))));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pRes->getColor(QStringLiteral("clr_tab_background")));
    setPalette(pal);
    setAutoFillBackground(true);
}

void CStandardTabControl::onCurrentChanged(int nIndex)
{
    QWidget* pCorner =
        (nIndex >= 0 && nIndex < m_cornerWidgets.size()) ? m_cornerWidgets.at(nIndex) : nullptr;
    QWidget* pOld = cornerWidget(Qt::TopRightCorner);
    if (pOld == pCorner) {
        return;
    }
    if (pOld) {
        pOld->hide(); // it stays a child of the tab control, kept for its tab
    }
    setCornerWidget(pCorner, Qt::TopRightCorner);
    if (pCorner) {
        pCorner->show();
    }
}

} // namespace WQ
