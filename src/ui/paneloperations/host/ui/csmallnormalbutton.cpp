#include "ui/csmallnormalbutton.h"

#include "ui/cuiresource.h"

namespace WQ {

CSmallNormalButton::CSmallNormalButton(int nId, bool bClickFocus, QWidget* pParent, int nButtonType)
    : CPushButton(nId, pParent), m_nButtonType(nButtonType)
{
    setFocusPolicy(bClickFocus ? Qt::StrongFocus : Qt::TabFocus);
    restyle();
}

CSmallNormalButton::~CSmallNormalButton() = default;

QString CSmallNormalButton::styleSheetText() const
{
    const CUiResource* pRes = CUiResource::instance();
    const bool bPrimary = m_nButtonType == BUTTON_TYPE_PRIMARY;
    auto color = [&](const char* szNormal, const char* szPrimary) {
        return pRes->getColorSheetByKey(QLatin1String(bPrimary ? szPrimary : szNormal));
    };
    const QString strBackground = color("clr_button_background", "clr_operation_button_background");
    const QString strBorder = color("clr_button_border", "clr_operation_button_background");
    return QStringLiteral("QPushButton {background: %1; color: %2; border: 1px solid %3; border-radius: %4px;"
                          " padding: 0px %5px;}"
                          "QPushButton:hover {background: %6;}"
                          "QPushButton:pressed {background: %7;}"
                          "QPushButton:disabled {color: %8; background: %9; border-color: %9;}")
        .arg(strBackground, color("clr_button_text", "clr_operation_button_text"), strBorder)
        .arg(pRes->getSize(QStringLiteral("tc_siz_corner_radius")))
        .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding")))
        .arg(color("clr_button_hover", "clr_operation_button_hover"),
             color("clr_button_pressed", "clr_operation_button_pressed"),
             pRes->getColorSheetByKey(QStringLiteral("clr_text_disabled")),
             pRes->getColorSheetByKey(QStringLiteral("clr_button_pressed")));
}

} // namespace WQ
