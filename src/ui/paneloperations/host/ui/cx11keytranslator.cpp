#include "ui/cx11keytranslator.h"

#include <QChar>
#include <Qt>

// X headers last: they define macros (None, KeyPress, Bool) that clash with Qt's names.
#include <X11/X.h>
#include <X11/keysym.h>

namespace TC {

namespace {

struct CKeySymEntry
{
    unsigned long m_nKeySym;
    int m_nQtKey;
};

// Symbols outside the character ranges, as Qt's own X11 keyboard maps them.
const CKeySymEntry kNamedKeys[] = {
    {XK_BackSpace, Qt::Key_Backspace},
    {XK_Tab, Qt::Key_Tab},
    {XK_ISO_Left_Tab, Qt::Key_Backtab},
    {XK_Return, Qt::Key_Return},
    {XK_Escape, Qt::Key_Escape},
    {XK_Delete, Qt::Key_Delete},
    {XK_Insert, Qt::Key_Insert},
    {XK_Home, Qt::Key_Home},
    {XK_End, Qt::Key_End},
    {XK_Left, Qt::Key_Left},
    {XK_Up, Qt::Key_Up},
    {XK_Right, Qt::Key_Right},
    {XK_Down, Qt::Key_Down},
    {XK_Prior, Qt::Key_PageUp},
    {XK_Next, Qt::Key_PageDown},
    {XK_Pause, Qt::Key_Pause},
    {XK_Print, Qt::Key_Print},
    {XK_Sys_Req, Qt::Key_SysReq},
    {XK_Scroll_Lock, Qt::Key_ScrollLock},
    {XK_Clear, Qt::Key_Clear},
    {XK_Menu, Qt::Key_Menu},
    {XK_Help, Qt::Key_Help},
    {XK_KP_Space, Qt::Key_Space},
    {XK_KP_Tab, Qt::Key_Tab},
    {XK_KP_Enter, Qt::Key_Enter},
    {XK_KP_F1, Qt::Key_F1},
    {XK_KP_F2, Qt::Key_F2},
    {XK_KP_F3, Qt::Key_F3},
    {XK_KP_F4, Qt::Key_F4},
    {XK_KP_Home, Qt::Key_Home},
    {XK_KP_Left, Qt::Key_Left},
    {XK_KP_Up, Qt::Key_Up},
    {XK_KP_Right, Qt::Key_Right},
    {XK_KP_Down, Qt::Key_Down},
    {XK_KP_Prior, Qt::Key_PageUp},
    {XK_KP_Next, Qt::Key_PageDown},
    {XK_KP_End, Qt::Key_End},
    {XK_KP_Begin, Qt::Key_Clear},
    {XK_KP_Insert, Qt::Key_Insert},
    {XK_KP_Delete, Qt::Key_Delete},
    {XK_KP_Equal, Qt::Key_Equal},
    {XK_KP_Multiply, Qt::Key_Asterisk},
    {XK_KP_Add, Qt::Key_Plus},
    {XK_KP_Separator, Qt::Key_Comma},
    {XK_KP_Subtract, Qt::Key_Minus},
    {XK_KP_Decimal, Qt::Key_Period},
    {XK_KP_Divide, Qt::Key_Slash},
};

// Key symbols 0x01000100 and up carry a Unicode code point.
constexpr unsigned long kUnicodeKeySymBase = 0x01000000;

} // namespace

void CX11KeyTranslator::setModifierMasks(unsigned int nAltMask, unsigned int nMetaMask)
{
    m_nAltMask = nAltMask;
    m_nMetaMask = nMetaMask;
}

int CX11KeyTranslator::toQtKey(unsigned long nKeySym, unsigned int nState) const
{
    const int nKey = qtKey(nKeySym);
    if (nKey == 0)
        return 0;
    int nModifiers = 0;
    if (nState & ShiftMask)
        nModifiers |= Qt::ShiftModifier;
    if (nState & ControlMask)
        nModifiers |= Qt::ControlModifier;
    if (nState & m_nAltMask)
        nModifiers |= Qt::AltModifier;
    if (nState & m_nMetaMask)
        nModifiers |= Qt::MetaModifier;
    if (isKeypad(nKeySym))
        nModifiers |= Qt::KeypadModifier;
    return nKey | nModifiers;
}

int CX11KeyTranslator::qtKey(unsigned long nKeySym)
{
    // Printable Latin-1: Qt names a letter key by its upper case.
    if ((nKeySym >= 0x20 && nKeySym <= 0x7e) || (nKeySym >= 0xa0 && nKeySym <= 0xff))
        return static_cast<int>(QChar::toUpper(static_cast<uint>(nKeySym)));
    if (nKeySym >= XK_F1 && nKeySym <= XK_F35)
        return Qt::Key_F1 + static_cast<int>(nKeySym - XK_F1);
    if (nKeySym >= XK_KP_0 && nKeySym <= XK_KP_9)
        return Qt::Key_0 + static_cast<int>(nKeySym - XK_KP_0);
    if (nKeySym >= kUnicodeKeySymBase + 0x100 && nKeySym <= kUnicodeKeySymBase + 0x10ffff)
        return static_cast<int>(QChar::toUpper(static_cast<uint>(nKeySym - kUnicodeKeySymBase)));
    for (const CKeySymEntry& entry : kNamedKeys)
    {
        if (entry.m_nKeySym == nKeySym)
            return entry.m_nQtKey;
    }
    // Modifier keys (Shift, Control, Alt, Super, lock keys) and everything unknown.
    return 0;
}

bool CX11KeyTranslator::isKeypad(unsigned long nKeySym)
{
    return nKeySym >= XK_KP_Space && nKeySym <= XK_KP_Equal;
}

} // namespace TC
