#include "ui/cbasewidget.h"
#include "ui/cshortcutkeylineedit.h"

#include "common/rowname.h"

#include <gtest/gtest.h>

#include <QKeySequence>
#include <QTest>

#include <vector>

using TC::CShortcutKeyLineEdit;

namespace {

struct KeyRow : CNamedRow
{
    int nKey;
    Qt::KeyboardModifiers modifiers;
    const char* szExpected; // "" when the combination is refused
};

class ShortcutKeyText : public ::testing::TestWithParam<KeyRow>
{
};

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kAlt = Qt::AltModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;

} // namespace

TEST_P(ShortcutKeyText, CombinationBecomesNativeTextOrIsRefused)
{
    const KeyRow& row = GetParam();
    const QString strText = CShortcutKeyLineEdit::sequenceText(row.nKey, row.modifiers);
    EXPECT_EQ(strText.toStdString(), row.szExpected);
    // What the manager reads back from the setting is the same key.
    const QKeySequence sequence = QKeySequence::fromString(strText, QKeySequence::NativeText);
    EXPECT_EQ(sequence.toString(QKeySequence::NativeText), strText);
    EXPECT_EQ(sequence.count(), strText.isEmpty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ShortcutKeyText,
    ::testing::Values(KeyRow{{"FunctionKeyAlone"}, Qt::Key_F9, kNone, "F9"},
                      KeyRow{{"FunctionKeyWithShift"}, Qt::Key_F3, kShift, "Shift+F3"},
                      KeyRow{{"CtrlLetter"}, Qt::Key_K, kCtrl, "Ctrl+K"},
                      KeyRow{{"AltDigit"}, Qt::Key_5, kAlt, "Alt+5"},
                      KeyRow{{"CtrlAltLetter"}, Qt::Key_Z, kCtrl | kAlt, "Ctrl+Alt+Z"},
                      KeyRow{
                          {"CtrlShiftDigitArrivesAsSymbol"}, Qt::Key_Exclam, kCtrl | kShift, "Ctrl+Shift+1"},
                      KeyRow{{"KeypadDigitIsTheDigit"}, Qt::Key_5, kCtrl | Qt::KeypadModifier, "Ctrl+5"},
                      KeyRow{{"LetterAloneRefused"}, Qt::Key_K, kNone, ""},
                      KeyRow{{"ShiftLetterRefused"}, Qt::Key_K, kShift, ""},
                      KeyRow{{"BareModifierRefused"}, Qt::Key_Control, kCtrl, ""},
                      KeyRow{{"CtrlPunctuationRefused"}, Qt::Key_Comma, kCtrl, ""},
                      KeyRow{{"MetaRefused"}, Qt::Key_K, Qt::MetaModifier | kCtrl, ""}),
    rowName);

TEST(ShortcutKeyLineEdit, RecordsPressedCombinationAndReportsEachChangeOnce)
{
    class CPanel : public WQ::CBaseWidget
    {
    public:
        CPanel() : WQ::CBaseWidget(QStringLiteral("panel"), false) {}
        bool handleEvent(int nType, int nId, int, QString strText, void*) override
        {
            if (nType == WQ::EVENT_LINE_EDIT && nId == 9)
                m_reports.push_back(strText);
            return true;
        }
        std::vector<QString> m_reports;
    };
    CPanel panel;
    auto* pEdit = new CShortcutKeyLineEdit(9, &panel, true);

    QTest::keyClick(pEdit, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(pEdit, Qt::Key_K, Qt::ControlModifier); // the same key again: no change
    QTest::keyClick(pEdit, Qt::Key_Q);                      // refused, and not typed
    EXPECT_EQ(pEdit->text(), QStringLiteral("Ctrl+K"));
    QTest::keyClick(pEdit, Qt::Key_F9);
    QTest::keyClick(pEdit, Qt::Key_Backspace);
    EXPECT_EQ(pEdit->text(), QString());
    EXPECT_EQ(panel.m_reports,
              (std::vector<QString>{QStringLiteral("Ctrl+K"), QStringLiteral("F9"), QString()}));
}
