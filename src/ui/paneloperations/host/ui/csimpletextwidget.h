#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QLabel>

namespace WQ {

// A line of text in a resource colour and font. The clickable form shows a pointing hand, underlines
// on hover and reports a left click as EVENT_TEXT_CLICKED with its id and text. GUI thread only.
class CSimpleTextWidget : public CEventWidgetT<QLabel>, public CUiRestyler
{
    Q_OBJECT

public:
    CSimpleTextWidget(const QString& strText, QWidget* pParent = nullptr);
    CSimpleTextWidget(bool bClickable, int nId, const QString& strText, QWidget* pParent = nullptr);
    ~CSimpleTextWidget() override;

    int id() const { return m_nId; }
    bool isClickable() const { return m_bClickable; }
    void setColorKey(const QString& strKey);
    void setFontKey(const QString& strKey);

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void enterEvent(QEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;

private:
    void restyle() override;

    bool m_bClickable = false;
    bool m_bPressed = false;
    bool m_bHovered = false;
    int m_nId = 0;
    QString m_strColorKey = QStringLiteral("clr_text_default");
    QString m_strFontKey = QStringLiteral("fnt_default_normal_fix");
};

} // namespace WQ
