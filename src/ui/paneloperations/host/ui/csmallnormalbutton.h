#pragma once

#include "ui/cpushbutton.h"

namespace WQ {

// A framed text button. BUTTON_TYPE_PRIMARY fills it in the accent colour for the main action of a
// panel or dialog. With bClickFocus a click takes the keyboard focus, so that an edit being typed in
// finishes (and reports its text) before the button acts.
class CSmallNormalButton : public CPushButton
{
    Q_OBJECT

public:
    enum EButtonType
    {
        BUTTON_TYPE_NORMAL = 0,
        BUTTON_TYPE_PRIMARY = 1,
    };

    CSmallNormalButton(int nId, bool bClickFocus, QWidget* pParent = nullptr,
                       int nButtonType = BUTTON_TYPE_NORMAL);
    ~CSmallNormalButton() override;

protected:
    QString styleSheetText() const override;

private:
    int m_nButtonType = BUTTON_TYPE_NORMAL;
};

} // namespace WQ
