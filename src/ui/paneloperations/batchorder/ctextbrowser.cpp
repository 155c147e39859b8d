#include "ctextbrowser.h"

#include "ui/cuiresource.h"

#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>

namespace TC {

CTextBrowser::CTextBrowser(QWidget* pParent) : WQ::CEventWidgetT<QTextBrowser>(pParent)
{
    setFont(WQ::CUiResource::instance()->getFont(QStringLiteral("fnt_default_normal_fix")));
    // Every line appended afterwards takes this block format: 21 pixels high with 1 pixel below.
    QTextCursor cursor = textCursor();
    QTextBlockFormat format = cursor.blockFormat();
    format.setBottomMargin(1.0);
    format.setLineHeight(21.0, QTextBlockFormat::FixedHeight);
    cursor.setBlockFormat(format);
    setTextCursor(cursor);
    themeChanged();
}

CTextBrowser::~CTextBrowser() = default;

void CTextBrowser::themeChanged()
{
    const WQ::CUiResource* pRes = WQ::CUiResource::instance();
    setStyleSheet(QStringLiteral("QTextBrowser {border-width: 1px 0px 1px 0px; border-style: solid; "
                                 "border-color: %1; color: %2;}")
                      .arg(pRes->getColorSheetByKey(QStringLiteral("clr_border_default")),
                           pRes->getColorSheetByKey(QStringLiteral("clr_text_default"))));
}

void CTextBrowser::appendLines(const QStringList& lines)
{
    if (lines.isEmpty()) {
        return;
    }
    QScrollBar* pBar = verticalScrollBar();
    const bool bAtBottom = pBar->value() >= pBar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString& strLine : lines) {
        // As QTextEdit::append: the first line goes into the empty first block.
        if (!document()->isEmpty()) {
            cursor.insertBlock(cursor.blockFormat(), cursor.charFormat());
        }
        cursor.insertText(strLine);
    }
    cursor.endEditBlock();
    if (bAtBottom) {
        pBar->setValue(pBar->maximum());
    }
}

void CTextBrowser::paintEvent(QPaintEvent* pEvent)
{
    {
        QPainter painter(viewport());
        painter.fillRect(QRect(0, 0, width(), height()),
                         WQ::CUiResource::instance()->getColor(QStringLiteral("clr_table_background")));
    }
    QTextBrowser::paintEvent(pEvent);
}

} // namespace TC
