#include "ui/clineedit.h"

#include "ui/cuiresource.h"

namespace WQ {

CLineEdit::CLineEdit(int nId, QWidget* pParent, bool bCenter) : CEventWidgetT<QLineEdit>(pParent), m_nId(nId)
{
    if (bCenter) {
        setAlignment(Qt::AlignCenter);
    }
    connect(this, &QLineEdit::editingFinished, this, &CLineEdit::onEditingFinished);
    restyle();
}

CLineEdit::~CLineEdit() = default;

void CLineEdit::reportEdit()
{
    setModified(false);
    deliverEvent(EVENT_LINE_EDIT, m_nId, 0, text(), this);
}

void CLineEdit::restyle()
{
    const CUiResource* pRes = CUiResource::instance();
    setFont(pRes->getFont(QStringLiteral("fnt_default_normal_fix")));
    setStyleSheet(
        QStringLiteral("QLineEdit {background: %1; color: %2; border: 1px solid %3; padding: 0px %4px;}"
                       "QLineEdit:focus {border-color: %5;}"
                       "QLineEdit:disabled {color: %6; background: %7;}")
            .arg(pRes->getColorSheetByKey(QStringLiteral("clr_input_background")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_text_default")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_input_border")))
            .arg(pRes->getSize(QStringLiteral("tc_siz_text_padding")) / 2)
            .arg(pRes->getColorSheetByKey(QStringLiteral("clr_input_focus_border")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_text_disabled")),
                 pRes->getColorSheetByKey(QStringLiteral("clr_button_pressed"))));
}

void CLineEdit::onEditingFinished()
{
    // editingFinished also comes when the focus merely passes through; only a real change is reported.
    if (isModified()) {
        reportEdit();
    }
}

} // namespace WQ
