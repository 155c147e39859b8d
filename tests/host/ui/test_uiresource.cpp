#include "ui/clineedit.h"
#include "ui/cuiresource.h"
#include "ui/cuiresourcechangehandler.h"
#include "ui/uiresourcetables.h"

#include <gtest/gtest.h>

#include <QSet>

#include <memory>
#include <vector>

using namespace WQ;

namespace {

class UiResourceTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        CUiResource::instance()->setTheme(CUiResource::THEME_DARK);
        CUiResource::instance()->setScale(1.0);
    }
    CUiResource* res() { return CUiResource::instance(); }
};

// Counts its notifications; may destroy another handler while restyling.
class CCountingHandler : public CUiResourceChangeHandler
{
public:
    explicit CCountingHandler(int* pThemeCalls = nullptr) : m_pThemeCalls(pThemeCalls) {}
    void themeChanged() override
    {
        ++m_nTheme;
        if (m_pThemeCalls)
            ++*m_pThemeCalls;
        m_pVictim.reset();
    }
    void scaleChanged() override { ++m_nScale; }
    void setFixFont() override { ++m_nFont; }
    int m_nTheme = 0;
    int m_nScale = 0;
    int m_nFont = 0;
    int* m_pThemeCalls = nullptr;
    std::unique_ptr<CCountingHandler> m_pVictim;
};

QSet<QString> keysOf(const resource::CTable<resource::CColorEntry>& table)
{
    QSet<QString> keys;
    for (const auto& entry : table)
        keys.insert(QLatin1String(entry.m_szKey));
    return keys;
}

} // namespace

TEST_F(UiResourceTest, EveryKeyThePanelsUseHasAValueInBothThemes)
{
    for (const char* szKey :
         {"clr_border_default", "clr_text_default", "clr_table_background", "clr_confirm_orange",
          "clr_clickable_simple_text", "fnt_default_normal_fix", "tc_fnt_operation_btn_text_option",
          "tc_siz_account_btn_height", "tc_img_btn_set_small"})
        EXPECT_TRUE(res()->contains(QLatin1String(szKey))) << szKey;
    EXPECT_EQ(keysOf(resource::darkColors()), keysOf(resource::lightColors()))
        << "a colour missing from one theme would show magenta only there";
    for (const auto& entry : resource::images())
        EXPECT_TRUE(res()->contains(QLatin1String(entry.m_szColorKey))) << entry.m_szKey;
}

TEST_F(UiResourceTest, ThemeSwitchChangesColoursAndRestylesLiveHandlersOnly)
{
    const QColor darkText = res()->getColor(QStringLiteral("clr_text_default"));
    const QColor& rememberedDark = res()->getColor(QStringLiteral("clr_text_default"));
    CLineEdit edit(1);
    const QString strDarkSheet = edit.styleSheet();
    // The first handler destroys the second while restyling; the third must still be reached.
    CCountingHandler handler;
    int nVictimCalls = 0;
    handler.m_pVictim = std::make_unique<CCountingHandler>(&nVictimCalls);
    CCountingHandler later;

    res()->setTheme(CUiResource::THEME_LIGHT);
    EXPECT_NE(res()->getColor(QStringLiteral("clr_text_default")), darkText);
    EXPECT_EQ(rememberedDark, darkText) << "a colour handed out earlier stays valid and unchanged";
    EXPECT_NE(edit.styleSheet(), strDarkSheet);
    EXPECT_TRUE(edit.styleSheet().contains(res()->getColorSheetByKey(QStringLiteral("clr_text_default"))));
    EXPECT_EQ(handler.m_nTheme, 1);
    EXPECT_EQ(later.m_nTheme, 1);
    EXPECT_EQ(nVictimCalls, 0);

    res()->setTheme(CUiResource::THEME_LIGHT); // no change, no restyling
    EXPECT_EQ(handler.m_nTheme, 1);
    res()->setTheme(CUiResource::THEME_DARK);
    EXPECT_EQ(edit.styleSheet(), strDarkSheet);
    EXPECT_EQ(handler.m_nTheme, 2);
}

TEST_F(UiResourceTest, ScaleAndFontFamilyReachSizesFontsImagesAndHandlers)
{
    const int nRow = res()->getSize(QStringLiteral("tc_siz_table_row_height"));
    const int nFont = res()->getFont(QStringLiteral("fnt_default_normal_fix")).pixelSize();
    const int nImage = res()->getImage(QStringLiteral("tc_img_btn_set_small")).width();
    CCountingHandler handler;
    res()->setScale(2.0);
    EXPECT_EQ(res()->getSize(QStringLiteral("tc_siz_table_row_height")), 2 * nRow);
    EXPECT_EQ(res()->getFont(QStringLiteral("fnt_default_normal_fix")).pixelSize(), 2 * nFont);
    EXPECT_EQ(res()->getImage(QStringLiteral("tc_img_btn_set_small")).width(), 2 * nImage);
    EXPECT_EQ(handler.m_nScale, 1);

    const QString strFamily = res()->fontFamily();
    res()->setFontFamily(QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(res()->getFont(QStringLiteral("fnt_title")).families().value(0), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(handler.m_nFont, 1);
    res()->setFontFamily(strFamily);
}

TEST_F(UiResourceTest, UnknownKeyGivesALoudFallback)
{
    EXPECT_FALSE(res()->contains(QStringLiteral("clr_no_such_key")));
    EXPECT_EQ(res()->getColor(QStringLiteral("clr_no_such_key")), QColor(0xFF, 0x00, 0xFF));
    EXPECT_GT(res()->getSize(QStringLiteral("tc_siz_no_such_key")), 0);
}
