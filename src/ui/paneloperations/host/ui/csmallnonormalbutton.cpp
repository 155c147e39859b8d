#include "ui/csmallnonormalbutton.h"

#include "ui/cuiresource.h"

namespace WQ {

CSmallNoNormalButton::CSmallNoNormalButton(int nId, bool bClickFocus, QWidget* pParent, bool bCheckable)
    : CPushButton(nId, pParent)
{
    setFocusPolicy(bClickFocus ? Qt::StrongFocus : Qt::TabFocus);
    setCheckable(bCheckable);
    restyle();
}

CSmallNoNormalButton::~CSmallNoNormalButton() = default;

QString CSmallNoNormalButton::styleSheetText() const
{
    const CUiResource* pRes = CUiResource::instance();
    return QStringLiteral("QPushButton {background: transparent; color: %1; border: 1px solid transparent;"
                          " border-radius: %2px; padding: 0px %3px;}"
                          "QPushButton:hover, QPushButton:checked {background: %4; border-color: %5;}"
                          "QPushButton:pressed {background: %6;}"
                          "QPushButton:disabled {color: %7;}")
        .arg(pRes->getColorSheetByKey(QStringLiteral("clr_text_default")))
        .arg(pRes->getSize(QStringLiteral("tc_siz_corner_radius")))
        .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding")) / 2)
        .arg(pRes->getColorSheetByKey(QStringLiteral("clr_toolbutton_hover")),
             pRes->getColorSheetByKey(QStringLiteral("clr_border_default")),
             pRes->getColorSheetByKey(QStringLiteral("clr_button_pressed")),
             pRes->getColorSheetByKey(QStringLiteral("clr_text_disabled")));
}

} // namespace WQ
