#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QPushButton>

namespace WQ {

// A host button. Clicks reach the enclosing deliverer as EVENT_BUTTON_CLICKED with the button's id and
// text. Constructed with an image key it shows that resource image, flat, at the image's size; the
// derived text buttons style themselves through styleSheetText. GUI thread only.
class CPushButton : public CEventWidgetT<QPushButton>, public CUiRestyler
{
    Q_OBJECT

public:
    CPushButton(const QString& strImageKey, int nId, QWidget* pParent = nullptr);
    ~CPushButton() override;

    int id() const { return m_nId; }
    void setTextFontKey(const QString& strKey);
    void setImageKey(const QString& strKey);

protected:
    // A text button; restyle() must be called once the derived part is constructed.
    CPushButton(int nId, QWidget* pParent);

    virtual QString styleSheetText() const;
    void restyle() override;

private:
    void onClicked();

    int m_nId = 0;
    QString m_strImageKey;
    QString m_strFontKey = QStringLiteral("fnt_default_normal_fix");
};

} // namespace WQ
