#pragma once

namespace TC {

// Turns an X key symbol and an X modifier state into the Qt key code with modifiers that Qt itself
// would report for that key, so that a key seen by the X hook compares equal to the QKeySequence the
// user recorded in a Qt line edit ("F9", "Ctrl+1", "Shift+!"). Pure: no X connection needed.
class CX11KeyTranslator
{
public:
    // The X modifier bits that carry Alt and Meta (Super) depend on the server's modifier map;
    // Mod1 and Mod4 unless told otherwise.
    void setModifierMasks(unsigned int nAltMask, unsigned int nMetaMask);

    // Qt key code or-ed with Qt modifiers; 0 for modifier keys alone and for symbols without a Qt key.
    int toQtKey(unsigned long nKeySym, unsigned int nState) const;

    // The Qt key (no modifiers) of one X key symbol; 0 when there is none.
    static int qtKey(unsigned long nKeySym);
    static bool isKeypad(unsigned long nKeySym);

private:
    unsigned int m_nAltMask = 1u << 3;  // Mod1Mask
    unsigned int m_nMetaMask = 1u << 6; // Mod4Mask
};

} // namespace TC
