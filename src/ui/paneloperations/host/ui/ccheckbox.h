#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QCheckBox>

namespace WQ {

// A host check box. A toggle by the user reaches the enclosing deliverer as EVENT_CHECKBOX_TOGGLED with
// the new state as parameter (1 checked); setChecked from code raises nothing, so loading a setting
// into the box is not mistaken for the user changing it. GUI thread only.
class CCheckBox : public CEventWidgetT<QCheckBox>, public CUiRestyler
{
    Q_OBJECT

public:
    CCheckBox(int nId, const QString& strText, QWidget* pParent = nullptr);
    ~CCheckBox() override;

    int id() const { return m_nId; }

private:
    void restyle() override;
    void onClicked(bool bChecked);

    int m_nId = 0;
};

} // namespace WQ
