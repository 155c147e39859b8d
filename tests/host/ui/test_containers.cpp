#include "ui/cautoexpandtoolbar.h"
#include "ui/csmallnonormalbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cwidgetlist.h"

#include "common/rowname.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

using namespace WQ;

namespace {

struct SplitRow : CNamedRow
{
    int nType;
    bool bOpen;
    QRect first;
    QRect second; // null: hidden
};

class SplitContainer : public ::testing::TestWithParam<SplitRow>
{
};

} // namespace

// A 400 by 300 container, splitter 2 pixels, the second child 100 pixels when open.
TEST_P(SplitContainer, ChildrenShareTheSpaceAsOpenOrClosed)
{
    const SplitRow& row = GetParam();
    CSplitButtonContainer container(row.nType, CSplitButtonContainer::BUTTON_STYLE_TAB, 2, 1);
    container.resize(400, 300);
    auto* pFirst = new QWidget;
    auto* pSecond = new QWidget;
    container.openAndClose(false, false);
    container.addChildWidget(pFirst, pSecond, true, 100);
    container.openAndClose(false, row.bOpen);
    container.show();
    EXPECT_EQ(container.isOpen(false), row.bOpen);
    EXPECT_EQ(pFirst->geometry(), row.first);
    EXPECT_EQ(pSecond->isVisible() ? pSecond->geometry() : QRect(), row.second);
    container.resize(500, 400); // the second keeps its size
    EXPECT_EQ(pFirst->geometry().size(),
              row.bOpen ? (row.nType == 1 ? QSize(398, 400) : QSize(500, 298)) : QSize(500, 400));
}

INSTANTIATE_TEST_SUITE_P(
    States, SplitContainer,
    ::testing::Values(SplitRow{{"SideBySideClosed"}, 1, false, QRect(0, 0, 400, 300), QRect()},
                      SplitRow{{"SideBySideOpen"}, 1, true, QRect(0, 0, 298, 300), QRect(300, 0, 100, 300)},
                      SplitRow{{"StackedOpen"}, 0, true, QRect(0, 0, 400, 198), QRect(0, 200, 400, 100)}),
    rowName);

TEST(SplitContainerToggle, ButtonOpensAndClosesTheSecondChild)
{
    CSplitButtonContainer container(1, CSplitButtonContainer::BUTTON_STYLE_TAB, 2, 1);
    container.resize(400, 300);
    container.addChildWidget(new QWidget, new QWidget, true, 100);
    container.show();
    QPushButton* pToggle = container.findChild<QPushButton*>();
    ASSERT_NE(pToggle, nullptr);
    pToggle->click();
    EXPECT_FALSE(container.isOpen(false));
    pToggle->click();
    EXPECT_TRUE(container.isOpen(false)) << "the state asked for, while it is still gliding there";
    EXPECT_TRUE(QTest::qWaitFor([&] { return container.isOpen(true); }));
}

TEST(AutoExpandToolBar, ItemsThatDoNotFitMoveToTheOverflowMenu)
{
    CAutoExpandToolBar bar(nullptr, 22);
    QList<QWidget*> buttons;
    for (int nId = 1; nId <= 3; ++nId) {
        auto* pButton = new CSmallNoNormalButton(nId, false, &bar);
        pButton->setFixedSize(60, 22);
        bar.addToolItem(pButton, false);
        buttons << pButton;
    }
    bar.resize(400, 24);
    bar.show();
    EXPECT_TRUE(bar.overflowItems().isEmpty());
    EXPECT_EQ(buttons[1]->x(), 64) << "60 wide plus the resource spacing of 4";
    bar.resize(160, 24); // room for two and the overflow button

    EXPECT_EQ(bar.overflowItems(), QList<QWidget*>{buttons[2]});
    EXPECT_FALSE(buttons[2]->isVisibleTo(&bar));
    bar.resize(400, 24);
    EXPECT_TRUE(bar.overflowItems().isEmpty());
}

TEST(WidgetList, AnchorsPlaceWidgetsAcrossTheList)
{
    CWidgetList list(Qt::Horizontal);
    list.setMargin(0);
    auto* pStart = new QWidget;
    auto* pFill = new QWidget;
    auto* pEnd = new QWidget;
    for (QWidget* pWidget : {pStart, pFill, pEnd})
        pWidget->setFixedWidth(50);
    pStart->setFixedHeight(10);
    pEnd->setFixedHeight(10);
    list.addFixedWidget(pStart, CWidgetList::ANCHOR_START, false);
    list.addFixedWidget(pFill, CWidgetList::ANCHOR_FILL, false);
    list.addStretchSpace(1);
    list.addFixedWidget(pEnd, CWidgetList::ANCHOR_END, false);
    list.resize(300, 40);
    list.show();
    EXPECT_EQ(pStart->geometry(), QRect(0, 0, 50, 10));
    EXPECT_EQ(pFill->geometry(), QRect(50, 0, 50, 40));
    EXPECT_EQ(pEnd->geometry(), QRect(250, 30, 50, 10));
}
