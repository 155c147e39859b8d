#include "ui/ccheckbox.h"

#include "ui/cuiresource.h"

namespace WQ {

CCheckBox::CCheckBox(int nId, const QString& strText, QWidget* pParent)
    : CEventWidgetT<QCheckBox>(pParent), m_nId(nId)
{
    setText(strText);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QCheckBox::clicked, this, &CCheckBox::onClicked);
    restyle();
}

CCheckBox::~CCheckBox() = default;

void CCheckBox::restyle()
{
    const CUiResource* pRes = CUiResource::instance();
    setFont(pRes->getFont(QStringLiteral("fnt_default_normal_fix")));
    const int nIndicator = pRes->getSize(QStringLiteral("tc_siz_check_indicator"));
    setStyleSheet(QStringLiteral("QCheckBox {color: %1; spacing: %2px;}"
                                 "QCheckBox:disabled {color: %3;}"
                                 "QCheckBox::indicator {width: %4px; height: %4px; border: 1px solid %5;"
                                 " background: %6; border-radius: 2px;}"
                                 "QCheckBox::indicator:checked {background: %7; border-color: %7;}")
                      .arg(pRes->getColorSheetByKey(QStringLiteral("clr_text_default")))
                      .arg(pRes->getSize(QStringLiteral("tc_siz_toolbar_spacing")))
                      .arg(pRes->getColorSheetByKey(QStringLiteral("clr_text_disabled")))
                      .arg(nIndicator - 2)
                      .arg(pRes->getColorSheetByKey(QStringLiteral("clr_input_border")),
                           pRes->getColorSheetByKey(QStringLiteral("clr_input_background")),
                           pRes->getColorSheetByKey(QStringLiteral("clr_operation_button_background"))));
}

void CCheckBox::onClicked(bool bChecked)
{
    deliverEvent(EVENT_CHECKBOX_TOGGLED, m_nId, bChecked ? 1 : 0, text(), this);
}

} // namespace WQ
