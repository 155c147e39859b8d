#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QLineEdit>

namespace WQ {

// A host line edit. When the user has changed the text and finishes (Enter, or the focus leaves),
// the enclosing deliverer receives EVENT_LINE_EDIT with the id and the new text, once per change;
// setText from code raises nothing. bCenter centres the text. GUI thread only.
class CLineEdit : public CEventWidgetT<QLineEdit>, public CUiRestyler
{
    Q_OBJECT

public:
    CLineEdit(int nId, QWidget* pParent = nullptr, bool bCenter = false);
    ~CLineEdit() override;

    int id() const { return m_nId; }

protected:
    // Raises EVENT_LINE_EDIT with the current text now.
    void reportEdit();

private:
    void restyle() override;
    void onEditingFinished();

    int m_nId = 0;
};

} // namespace WQ
