#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QList>
#include <QTabWidget>

namespace WQ {

// A themed tab control, one tab per widget. Events of the pages pass through it to the enclosing
// deliverer. GUI thread only.
class CStandardTabControl : public CEventWidgetT<QTabWidget>, public CUiRestyler
{
    Q_OBJECT

public:
    explicit CStandardTabControl(QWidget* pParent = nullptr);
    ~CStandardTabControl() override;

    // Adds pWidget as a new last tab titled strTitle. pButtons, when given, are placed at the right of
    // the tab bar while that tab is current.
    int addTabWidget(const QString& strTitle, QWidget* pWidget, QList<QWidget*>* pButtons);

private:
    void restyle() override;
    void onCurrentChanged(int nIndex);

    QList<QWidget*> m_cornerWidgets; // one per tab, null without buttons
};

} // namespace WQ
