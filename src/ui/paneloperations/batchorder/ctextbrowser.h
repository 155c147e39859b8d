#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuiresourcechangehandler.h"

#include <QStringList>
#include <QTextBrowser>

namespace TC {

// The module's text browser: fixed font and line height, themed border and text colour, and the table
// background painted under the text. GUI thread only.
class CTextBrowser : public WQ::CEventWidgetT<QTextBrowser>, public WQ::CUiResourceChangeHandler
{
public:
    explicit CTextBrowser(QWidget* pParent);
    ~CTextBrowser() override;

    void themeChanged() override;

    // Appends each text as one plain-text line (never read as markup), in one edit, and keeps the view
    // at the bottom when it was there.
    void appendLines(const QStringList& lines);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};

} // namespace TC
