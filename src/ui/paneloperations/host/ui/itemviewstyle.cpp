#include "ui/itemviewstyle.h"

#include "ui/cuiresource.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace WQ {

void applyItemViewStyle(QTableView* pView)
{
    const CUiResource* pRes = CUiResource::instance();
    auto sheet = [pRes](const char* szKey) { return pRes->getColorSheetByKey(QLatin1String(szKey)); };
    auto color = [pRes](const char* szKey) { return pRes->getColor(QLatin1String(szKey)); };
    pView->setFont(pRes->getFont(QStringLiteral("fnt_table")));

    QPalette pal = pView->palette();
    pal.setColor(QPalette::Base, color("clr_table_background"));
    pal.setColor(QPalette::AlternateBase, color("clr_table_alternate_background"));
    pal.setColor(QPalette::Window, color("clr_table_background"));
    pal.setColor(QPalette::Text, color("clr_text_default"));
    pal.setColor(QPalette::Mid, color("clr_table_grid")); // the grid lines
    pal.setColor(QPalette::Highlight, color("clr_table_selection"));
    pal.setColor(QPalette::HighlightedText, color("clr_text_default"));
    pView->setPalette(pal);

    QHeaderView* pHeader = pView->horizontalHeader();
    pHeader->setFont(pRes->getFont(QStringLiteral("fnt_table_header")));
    pHeader->setStyleSheet(
        QStringLiteral("QHeaderView {background: %1;}"
                       "QHeaderView::section {background: %1; color: %2; border: none;"
                       " border-right: 1px solid %3; border-bottom: 1px solid %3; padding: 0px %4px;}")
            .arg(sheet("clr_table_header_background"), sheet("clr_table_header_text"),
                 sheet("clr_table_grid"))
            .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding"))));
    pHeader->setFixedHeight(pRes->getSize(QStringLiteral("tc_siz_table_header_height")));
    pHeader->setDefaultSectionSize(pRes->getSize(QStringLiteral("tc_siz_table_column_width")));

    const int nBarWidth = pRes->getSize(QStringLiteral("tc_siz_scrollbar_width"));
    const QString strScrollBars =
        QStringLiteral("QScrollBar {background: %1; border: none;}"
                       "QScrollBar:vertical {width: %3px;} QScrollBar:horizontal {height: %3px;}"
                       "QScrollBar::handle {background: %2; border-radius: %4px;}"
                       "QScrollBar::handle:vertical {min-height: %5px;}"
                       "QScrollBar::handle:horizontal {min-width: %5px;}"
                       "QScrollBar::add-line, QScrollBar::sub-line {width: 0px; height: 0px;}"
                       "QScrollBar::add-page, QScrollBar::sub-page {background: none;}")
            .arg(sheet("clr_table_background"), sheet("clr_scrollbar_handle"))
            .arg(nBarWidth)
            .arg(nBarWidth / 2)
            .arg(nBarWidth * 3);
    pView->verticalScrollBar()->setStyleSheet(strScrollBars);
    pView->horizontalScrollBar()->setStyleSheet(strScrollBars);
    pView->verticalHeader()->setDefaultSectionSize(pRes->getSize(QStringLiteral("tc_siz_table_row_height")));
}

} // namespace WQ
