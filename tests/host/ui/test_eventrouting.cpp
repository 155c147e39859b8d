#include "ui/cbasewidget.h"
#include "ui/ccheckbox.h"
#include "ui/ccommondialog.h"
#include "ui/clineedit.h"
#include "ui/cpushbutton.h"
#include "ui/csimpletextwidget.h"
#include "ui/csmallnonormalbutton.h"
#include "ui/csmallnormalbutton.h"
#include "ui/cstandardtabcontrol.h"
#include "ui/cwidgetlist.h"

#include "common/rowname.h"

#include <gtest/gtest.h>

#include <QTest>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

using namespace WQ;

void PrintTo(const QString& strText, std::ostream* pStream)
{
    *pStream << '"' << strText.toStdString() << '"';
}

namespace {

// An event as a panel receives it: type, id, parameter, text.
using CEvent = std::tuple<int, int, int, QString>;

// A panel that records every event reaching it, except focus changes.
class CRecordingPanel : public CBaseWidget
{
public:
    CRecordingPanel() : CBaseWidget(QStringLiteral("recording"), false) {}
    bool handleEvent(int nType, int nId, int nParam, QString strText, void*) override
    {
        if (nType != EVENT_FOCUS_IN)
            m_events.emplace_back(nType, nId, nParam, strText);
        return true;
    }
    std::vector<CEvent> m_events;
};

struct RouteRow : CNamedRow
{
    // Builds the control inside pParent and returns the action that makes it raise its event.
    std::function<std::function<void()>(QWidget* pParent)> build;
    std::vector<CEvent> expected;
};

void click(QWidget* pWidget)
{
    QTest::mouseClick(pWidget, Qt::LeftButton, Qt::NoModifier, pWidget->rect().center());
}

// The action that clicks the control, given the text it shows.
template <class T> std::function<void()> clicking(T* pControl, const QString& strText = {})
{
    if (!strText.isEmpty())
        pControl->setText(strText);
    return [pControl] { click(pControl); };
}

std::vector<RouteRow> routeRows()
{
    return {
        {{"NormalButtonClickIsType5"},
         [](QWidget* p) {
             return clicking(new CSmallNormalButton(2, false, p, CSmallNormalButton::BUTTON_TYPE_PRIMARY),
                             "下单");
         },
         {{5, 2, 0, "下单"}}},
        {{"ToolButtonClickIsType5"},
         [](QWidget* p) { return clicking(new CSmallNoNormalButton(7, false, p, false), "清空待处理"); },
         {{5, 7, 0, "清空待处理"}}},
        {{"ImageButtonClickIsType5"},
         [](QWidget* p) { return clicking(new CPushButton(QStringLiteral("tc_img_btn_set_small"), 3, p)); },
         {{5, 3, 0, QString()}}},
        {{"CheckBoxTogglesAreType69WithState"},
         [](QWidget* p) {
             auto* pBox = new CCheckBox(11, QStringLiteral("启动快捷交易"), p);
             return [pBox] {
                 click(pBox);
                 pBox->setChecked(false); // from code: not reported
                 click(pBox);
                 click(pBox);
             };
         },
         {{69, 11, 1, "启动快捷交易"}, {69, 11, 1, "启动快捷交易"}, {69, 11, 0, "启动快捷交易"}}},
        {{"LineEditReportsAFinishedChangeOnceAsType105"},
         [](QWidget* p) {
             auto* pEdit = new CLineEdit(10, p, false);
             return [pEdit] {
                 pEdit->setText(QStringLiteral("from code")); // not reported
                 pEdit->setFocus();
                 QTest::keyClicks(pEdit, QStringLiteral("/x"));
                 QTest::keyClick(pEdit, Qt::Key_Return);
                 QTest::keyClick(pEdit, Qt::Key_Return); // unchanged since: not reported again
             };
         },
         {{105, 10, 0, "from code/x"}}},
        {{"ClickableTextIsType10"},
         [](QWidget* p) {
             return clicking(new CSimpleTextWidget(true, 1, QStringLiteral("批量下单参数设置"), p));
         },
         {{10, 1, 0, "批量下单参数设置"}}},
        {{"PlainTextRaisesNothing"},
         [](QWidget* p) { return clicking(new CSimpleTextWidget(QStringLiteral("提示"), p)); },
         {}},
    };
}

class EventRouting : public ::testing::TestWithParam<RouteRow>
{
};

} // namespace

// Each control sits in a list inside a tab inside an inner panel that handles nothing itself, so the
// event has to travel up through every level to reach the recording panel.
TEST_P(EventRouting, ControlEventReachesTheEnclosingDeliverer)
{
    CRecordingPanel outer;
    auto* pInner = new CBaseWidget(QStringLiteral("inner"), false, &outer);
    auto* pTabs = new CStandardTabControl(pInner);
    auto* pList = new CWidgetList(Qt::Horizontal);
    auto action = GetParam().build(pList);
    pTabs->addTabWidget(QStringLiteral("tab"), pList, nullptr); // reparents the list into the tab's stack
    pInner->setContentWidget(pTabs, 0, 0, 0, 0, true);
    outer.resize(400, 200);
    outer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&outer));

    action();
    EXPECT_EQ(outer.m_events, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Controls, EventRouting, ::testing::ValuesIn(routeRows()), rowName);

TEST(EventRoutingTree, ReparentedControlReportsToItsNewDeliverer)
{
    CRecordingPanel first;
    CRecordingPanel second;
    auto* pButton = new CSmallNormalButton(4, true, &first);
    pButton->setParent(&second);
    pButton->click();
    EXPECT_TRUE(first.m_events.empty());
    EXPECT_EQ(second.m_events, (std::vector<CEvent>{{5, 4, 0, QString()}}));
}

TEST(EventRoutingTree, HandledEventStopsAndUnhandledOneTravelsOn)
{
    // A middle panel that handles id 1 only.
    class CMiddle : public CBaseWidget
    {
    public:
        using CBaseWidget::CBaseWidget;
        bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override
        {
            m_nHandled += nId == 1;
            return nId == 1 || CBaseWidget::handleEvent(nType, nId, nParam, strText, pData);
        }
        int m_nHandled = 0;
    };
    CRecordingPanel outer;
    auto* pMiddle = new CMiddle(QStringLiteral("middle"), false, &outer);
    auto* pOne = new CSmallNormalButton(1, false, pMiddle);
    auto* pTwo = new CSmallNormalButton(2, false, pMiddle);
    pOne->click();
    pTwo->click();
    EXPECT_EQ(pMiddle->m_nHandled, 1);
    EXPECT_EQ(outer.m_events, (std::vector<CEvent>{{5, 2, 0, QString()}}));
}

TEST(EventRoutingTree, FocusInIsReportedWithTheWidgetAsData)
{
    class CFocusPanel : public CBaseWidget
    {
    public:
        CFocusPanel() : CBaseWidget(QStringLiteral("focus"), false) {}
        bool handleEvent(int nType, int, int, QString, void* pData) override
        {
            if (nType == EVENT_FOCUS_IN)
                m_pFocused = pData;
            return true;
        }
        void* m_pFocused = nullptr;
    };
    CFocusPanel panel;
    auto* pEdit = new CLineEdit(10, &panel);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.activateWindow();
    pEdit->setFocus();
    EXPECT_EQ(panel.m_pFocused, static_cast<QWidget*>(pEdit));
}

TEST(CommonDialog, CloseButtonHidesTheDialogAndInnerEventsReachIt)
{
    class CDialog : public CCommonDialog
    {
    public:
        bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData) override
        {
            const bool bMine = nType == EVENT_BUTTON_CLICKED && nId == 5;
            m_nClicks += bMine;
            return bMine || CCommonDialog::handleEvent(nType, nId, nParam, strText, pData);
        }
        int m_nClicks = 0;
    };
    CDialog dialog;
    dialog.setTitle(QStringLiteral("设置"));
    auto* pRoot = new CWidgetList(Qt::Vertical);
    auto* pButton = new CSmallNormalButton(5, true, pRoot, CSmallNormalButton::BUTTON_TYPE_PRIMARY);
    pRoot->addFixedWidget(pButton, CWidgetList::ANCHOR_START, false);
    dialog.setInnerWidget(pRoot);
    dialog.resize(300, 200);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    EXPECT_EQ(pRoot->geometry(), QRect(1, 30, 298, 169))
        << "the inner widget fills the dialog below the title";
    pButton->click();
    EXPECT_EQ(dialog.m_nClicks, 1);
    const auto buttons = dialog.findChildren<CPushButton*>();
    auto close = std::find_if(buttons.begin(), buttons.end(),
                              [](CPushButton* p) { return p->id() == CBaseDialog::kCloseButtonId; });
    ASSERT_NE(close, buttons.end());
    (*close)->click();
    EXPECT_FALSE(dialog.isVisible());
}
