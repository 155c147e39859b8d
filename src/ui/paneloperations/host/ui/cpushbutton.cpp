#include "ui/cpushbutton.h"

#include "ui/cuiresource.h"

namespace WQ {

CPushButton::CPushButton(const QString& strImageKey, int nId, QWidget* pParent) : CPushButton(nId, pParent)
{
    m_strImageKey = strImageKey;
    restyle();
}

CPushButton::CPushButton(int nId, QWidget* pParent) : CEventWidgetT<QPushButton>(pParent), m_nId(nId)
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QPushButton::clicked, this, &CPushButton::onClicked);
}

CPushButton::~CPushButton() = default;

void CPushButton::setTextFontKey(const QString& strKey)
{
    m_strFontKey = strKey;
    restyle();
}

void CPushButton::setImageKey(const QString& strKey)
{
    m_strImageKey = strKey;
    restyle();
}

QString CPushButton::styleSheetText() const
{
    const CUiResource* pRes = CUiResource::instance();
    return QStringLiteral("QPushButton {background: transparent; border: none; border-radius: %1px;}"
                          "QPushButton:hover {background: %2;}"
                          "QPushButton:pressed {background: %3;}")
        .arg(pRes->getSize(QStringLiteral("tc_siz_corner_radius")))
        .arg(pRes->getColorSheetByKey(QStringLiteral("clr_toolbutton_hover")),
             pRes->getColorSheetByKey(QStringLiteral("clr_button_pressed")));
}

void CPushButton::restyle()
{
    CUiResource* pRes = CUiResource::instance();
    setFont(pRes->getFont(m_strFontKey));
    setStyleSheet(styleSheetText());
    if (!m_strImageKey.isEmpty()) {
        const QPixmap image = pRes->getImage(m_strImageKey);
        setIcon(QIcon(image));
        setIconSize(image.size());
        const int nPadding = pRes->getSize(QStringLiteral("tc_siz_toolbar_spacing"));
        setFixedSize(image.width() + 2 * nPadding, image.height() + 2 * nPadding);
    }
}

void CPushButton::onClicked()
{
    deliverEvent(EVENT_BUTTON_CLICKED, m_nId, 0, text(), this);
}

} // namespace WQ
