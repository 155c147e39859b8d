#pragma once

#include "ui/clineedit.h"

namespace TC {

// The order key editor: records the key combination pressed in it instead of taking typed text, and
// holds it as QKeySequence native text ("Ctrl+K", "F9"). Accepted: a function key, alone or with
// modifiers, and Ctrl or Alt (with or without Shift) with a digit or a letter. Backspace or Delete
// clears it. Each recorded change is reported at once as EVENT_LINE_EDIT. GUI thread only.
class CShortcutKeyLineEdit : public WQ::CLineEdit
{
    Q_OBJECT

public:
    CShortcutKeyLineEdit(int nId, QWidget* pParent = nullptr, bool bCenter = true);
    ~CShortcutKeyLineEdit() override;

    // The native text of the combination, or an empty text when it is not an acceptable order key.
    static QString sequenceText(int nKey, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
};

} // namespace TC
