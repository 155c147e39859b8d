#pragma once

#include "ui/cpushbutton.h"

namespace WQ {

// A flat text button for tool strips: no frame until hovered; with bCheckable it stays highlighted
// while checked. bClickFocus as for CSmallNormalButton.
class CSmallNoNormalButton : public CPushButton
{
    Q_OBJECT

public:
    CSmallNoNormalButton(int nId, bool bClickFocus, QWidget* pParent = nullptr, bool bCheckable = false);
    ~CSmallNoNormalButton() override;

protected:
    QString styleSheetText() const override;
};

} // namespace WQ
