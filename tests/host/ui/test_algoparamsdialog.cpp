#include "config/cuserconfig.h"
#include "trading/pricetypes.h"
#include "ui/cdbfalgoparamssettingdialog.h"

#include "common/ctesthost.h"
#include "common/rowname.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTableWidget>

#include <memory>

using TC::CDbfAlgoParam;
using TC::CDbfAlgoParamsSettingDialog;
using TC::CUserConfig;

namespace {

CDbfAlgoParam param(const char* szCode, const char* szName, int nOrderType, int nPriceType)
{
    return CDbfAlgoParam{QString::fromUtf8(szCode), QString::fromUtf8(szName), nOrderType, nPriceType};
}

std::string describe(const QList<boost::shared_ptr<CDbfAlgoParam>>& params)
{
    QStringList parts;
    for (const auto& pParam : params)
        parts << QStringLiteral("%1=%2/%3/%4")
                     .arg(pParam->m_strPriceTypeCode, pParam->m_strName)
                     .arg(pParam->m_nOrderType)
                     .arg(pParam->m_nPriceType);
    return parts.join(QLatin1Char(' ')).toStdString();
}

class AlgoParamsTest : public ::testing::Test
{
protected:
    // The user configuration as the next start of the host would read it from disk (a copy: settings
    // objects of one process share a cache per file).
    std::unique_ptr<CUserConfig> restarted()
    {
        const QString strCopy = m_host.dataDir() + QStringLiteral("/restart%1.ini").arg(++m_nRestarts);
        const QString strIni = m_host.dataDir() + QStringLiteral("/user.ini");
        EXPECT_TRUE(!QFile::exists(strIni) || QFile::copy(strIni, strCopy));
        return std::make_unique<CUserConfig>(strCopy, m_host.userConfig().profile());
    }

    CTestHost m_host;
    int m_nRestarts = 0;
};

struct SaveRow : CNamedRow
{
    QList<CDbfAlgoParam> params;
    const char* szExpected; // the settings afterwards, or null when refused (the profile's stay)
};

class AlgoParamsSave : public AlgoParamsTest, public ::testing::WithParamInterface<SaveRow>
{
};

const char kProfileSettings[] = "2001=TWAP/24/11 2002=VWAP/26/11 2003=冰山/107/11 2004=跟量/108/5";

} // namespace

TEST_P(AlgoParamsSave, SavedSettingsApplyAtOnceAndSurviveARestart)
{
    CUserConfig& config = m_host.userConfig();
    ASSERT_EQ(describe(config.getDbfAlgoParams()), kProfileSettings);
    QString strError;
    const bool bSaved = config.setDbfAlgoParams(GetParam().params, strError);
    const std::string strExpected = GetParam().szExpected ? GetParam().szExpected : kProfileSettings;
    EXPECT_EQ(bSaved, GetParam().szExpected != nullptr) << strError.toStdString();
    EXPECT_EQ(bSaved, strError.isEmpty());
    EXPECT_EQ(describe(config.getDbfAlgoParams()), strExpected);
    EXPECT_EQ(config.getDbfAlgoParam(QStringLiteral("2001")) != nullptr, strExpected.find("2001=") == 0);
    EXPECT_EQ(describe(restarted()->getDbfAlgoParams()), strExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AlgoParamsSave,
    ::testing::Values(
        SaveRow{{"ChangedRemovedAndAdded"},
                {param("2004", "跟量2", 108, 4), param("2001", "TWAP", 24, 11), param("0", "新算法", 13, 11)},
                "2001=TWAP/24/11 2004=跟量2/108/4 0=新算法/13/11"},
        // An empty list must not read back as "nothing stored", which gives the profile's.
        SaveRow{{"EverythingRemovedIsKeptRemoved"}, {}, ""},
        SaveRow{{"UnknownCodeRefused"}, {param("9999", "X", 24, 11)}, nullptr},
        SaveRow{{"DuplicateCodeRefused"}, {param("2001", "A", 24, 11), param("2001", "B", 26, 11)}, nullptr},
        SaveRow{{"EmptyNameRefused"}, {param("2001", " ", 24, 11)}, nullptr}),
    rowName);

TEST_F(AlgoParamsTest, DialogEditsReachTheConfigurationAndTheDisplayNames)
{
    CDbfAlgoParamsSettingDialog dialog;
    QTableWidget* pTable = dialog.table();
    ASSERT_EQ(pTable->rowCount(), 4);

    pTable->item(0, CDbfAlgoParamsSettingDialog::COLUMN_NAME)->setText(QStringLiteral("时间加权"));
    pTable->setCurrentCell(2, 0);
    dialog.removeCurrentRow(); // 2003
    dialog.addRow();           // the first code without a setting: "0"
    pTable->item(3, CDbfAlgoParamsSettingDialog::COLUMN_NAME)->setText(QStringLiteral("第三方"));
    auto* pOrderType =
        static_cast<QComboBox*>(pTable->cellWidget(3, CDbfAlgoParamsSettingDialog::COLUMN_ORDER_TYPE));
    pOrderType->setCurrentIndex(pOrderType->findData(13));
    ASSERT_TRUE(dialog.save()) << dialog.hintText().toStdString();

    EXPECT_EQ(describe(m_host.userConfig().getDbfAlgoParams()),
              "2001=时间加权/24/11 2002=VWAP/26/11 2004=跟量/108/5 0=第三方/13/11");
    EXPECT_EQ(TC::ttOrderTypeToString(24), QStringLiteral("时间加权")) << "names follow the saved settings";

    // A refused list is reported in the dialog and changes nothing.
    dialog.addRow();
    ASSERT_EQ(pTable->rowCount(), 5);
    EXPECT_FALSE(dialog.save()) << "the new row has no name";
    EXPECT_FALSE(dialog.hintText().isEmpty());
    EXPECT_EQ(m_host.userConfig().getDbfAlgoParams().size(), 4);

    dialog.reload();
    EXPECT_EQ(pTable->rowCount(), 4);
}
