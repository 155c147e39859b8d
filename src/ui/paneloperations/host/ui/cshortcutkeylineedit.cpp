#include "ui/cshortcutkeylineedit.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace TC {

namespace {

// With Shift held, the digit row reports the shifted symbol; the key meant is the digit beneath it.
int unshiftedDigit(int nKey)
{
    static const char s_szShifted[] = ")!@#$%^&*(";
    for (int i = 0; i < 10; ++i) {
        if (nKey == s_szShifted[i]) {
            return Qt::Key_0 + i;
        }
    }
    return nKey;
}

} // namespace

CShortcutKeyLineEdit::CShortcutKeyLineEdit(int nId, QWidget* pParent, bool bCenter)
    : WQ::CLineEdit(nId, pParent, bCenter)
{
    // The text is only ever a recorded key: no typing, pasting, dropping or composing into it.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

CShortcutKeyLineEdit::~CShortcutKeyLineEdit() = default;

QString CShortcutKeyLineEdit::sequenceText(int nKey, Qt::KeyboardModifiers modifiers)
{
    modifiers &= ~Qt::KeypadModifier;
    if (modifiers & ~(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) {
        return QString();
    }
    if (modifiers & Qt::ShiftModifier) {
        nKey = unshiftedDigit(nKey);
    }
    const bool bFunctionKey = nKey >= Qt::Key_F1 && nKey <= Qt::Key_F35;
    const bool bDigitOrLetter =
        (nKey >= Qt::Key_0 && nKey <= Qt::Key_9) || (nKey >= Qt::Key_A && nKey <= Qt::Key_Z);
    // A digit or letter needs Ctrl or Alt: with Shift alone, ordinary typing would fire the key.
    const bool bCommandModifier = modifiers & (Qt::ControlModifier | Qt::AltModifier);
    if (!bFunctionKey && !(bDigitOrLetter && bCommandModifier)) {
        return QString();
    }
    return QKeySequence(static_cast<int>(modifiers) | nKey).toString(QKeySequence::NativeText);
}

void CShortcutKeyLineEdit::keyPressEvent(QKeyEvent* pEvent)
{
    const int nKey = pEvent->key();
    const Qt::KeyboardModifiers modifiers = pEvent->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier &&
        (nKey == Qt::Key_Tab || nKey == Qt::Key_Backtab || nKey == Qt::Key_Escape)) {
        // Focus moves and the dialog's own keys keep working.
        WQ::CLineEdit::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
    QString strText;
    if (modifiers == Qt::NoModifier && (nKey == Qt::Key_Backspace || nKey == Qt::Key_Delete)) {
        strText.clear();
    } else {
        strText = sequenceText(nKey, pEvent->modifiers());
        if (strText.isEmpty()) {
            return; // a bare modifier, or a key that cannot be an order key
        }
    }
    if (strText != text()) {
        setText(strText);
        reportEdit();
    }
}

} // namespace TC
