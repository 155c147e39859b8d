#include "ui/cx11keytranslator.h"

#include "common/rowname.h"
#include "keyrecorder.h"

#include <gtest/gtest.h>

#include <QKeySequence>

// X headers last: they define macros that clash with Qt's names.
#include <X11/X.h>
#include <X11/keysym.h>

using namespace TC;

namespace {

struct CTranslationRow : CNamedRow
{
    unsigned long m_nKeySym;
    unsigned int m_nState;
    const char* m_szNativeText; // empty: the key is not announced
    unsigned int m_nAltMask = Mod1Mask;
    unsigned int m_nMetaMask = Mod4Mask;
};

class X11KeyTranslation : public ::testing::TestWithParam<CTranslationRow>
{
};

const CTranslationRow kRows[] = {
    {{"FunctionKey"}, XK_F9, 0, "F9"},
    {{"LastFunctionKey"}, XK_F35, 0, "F35"},
    {{"CtrlDigit"}, XK_1, ControlMask, "Ctrl+1"},
    {{"CtrlLowerCaseLetterIsItsKey"}, XK_a, ControlMask, "Ctrl+A"},
    {{"ShiftedLetter"}, XK_A, ShiftMask, "Shift+A"},
    // Qt names a shifted digit by the symbol it types, as the X lookup does.
    {{"ShiftedDigitIsItsSymbol"}, XK_exclam, ShiftMask | ControlMask, "Ctrl+Shift+!"},
    {{"AltOnMod1"}, XK_F4, Mod1Mask, "Alt+F4"},
    {{"SuperOnMod4IsMeta"}, XK_x, Mod4Mask, "Meta+X"},
    {{"AllFourModifiers"}, XK_F9, ControlMask | Mod1Mask | ShiftMask | Mod4Mask, "Meta+Ctrl+Alt+Shift+F9"},
    {{"CapsLockAndNumLockAreNoModifiers"}, XK_F9, LockMask | Mod2Mask, "F9"},
    {{"AltWhereTheServerPutsIt"}, XK_F4, Mod3Mask, "Alt+F4", Mod3Mask, Mod4Mask},
    {{"Mod1IsMetaWhenTheServerSaysSo"}, XK_F4, Mod1Mask, "Meta+F4", Mod3Mask, Mod1Mask},
    {{"KeypadDigit"}, XK_KP_1, Mod2Mask, "Num+1"},
    {{"KeypadEnter"}, XK_KP_Enter, 0, "Num+Enter"},
    {{"KeypadWithoutNumLock"}, XK_KP_End, 0, "Num+End"},
    {{"Escape"}, XK_Escape, 0, "Esc"},
    {{"ShiftTab"}, XK_ISO_Left_Tab, ShiftMask, "Shift+Backtab"},
    {{"PageDown"}, XK_Next, ControlMask, "Ctrl+PgDown"},
    {{"Latin1Letter"}, XK_eacute, ControlMask, "Ctrl+\xC3\x89"},
    {{"UnicodeKeySym"}, 0x1000436, ControlMask, "Ctrl+\xD0\x96"},
    {{"ControlAloneIsNotAnnounced"}, XK_Control_L, ControlMask, ""},
    {{"SuperAloneIsNotAnnounced"}, XK_Super_L, 0, ""},
    {{"NumLockIsNotAnnounced"}, XK_Num_Lock, 0, ""},
    {{"DeadKeyIsNotAnnounced"}, XK_dead_grave, 0, ""},
    {{"NoSymbol"}, NoSymbol, ControlMask, ""},
};

TEST_P(X11KeyTranslation, GivesTheNativeTextQtWouldRecord)
{
    const CTranslationRow& row = GetParam();
    CX11KeyTranslator translator;
    translator.setModifierMasks(row.m_nAltMask, row.m_nMetaMask);
    const int nKey = translator.toQtKey(row.m_nKeySym, row.m_nState);
    const QString strExpected = QString::fromUtf8(row.m_szNativeText);
    if (strExpected.isEmpty())
        EXPECT_EQ(nKey, 0);
    else
        EXPECT_EQ(QKeySequence(nKey).toString(QKeySequence::NativeText), strExpected);
}

INSTANTIATE_TEST_SUITE_P(Rows, X11KeyTranslation, ::testing::ValuesIn(kRows), rowName);

} // namespace
