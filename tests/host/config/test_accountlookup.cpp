#include "config/accountlookup.h"
#include "config/cuserconfig.h"
#include "trading/cprofiledatacenter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <string>

namespace {

const char* const kPlain = "2____10____DEMO____2____1001";
const char* const kPlainOtherBroker = "7____10____DEMO____2____1001";
const char* const kCredit = "11____10____DEMO____3____1003";
const char* const kDual = "7____10____DEMO____2____1002";
const char* const kDualSh = "7____10____DEMO-SH____2____1002";

TC::CAccountData account(const char* pId, int nType, int nBroker, const char* pKey)
{
    TC::CAccountData data;
    data.m_strId = QString::fromLatin1(pId);
    data.m_nType = nType;
    data.m_nBroker = nBroker;
    data.m_strKey = QString::fromLatin1(pKey);
    return data;
}

// Id 1001 exists at two brokers (first at broker 2), so the order of the profile matters; the
// dual-centre account has a sub-account on SH only.
class AccountLookupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TC::CHostProfile profile;
        TC::CAccountData dual = account("1002", 2, 7, kDual);
        dual.m_bDualCenter = true;
        dual.m_centerKeys.insert(QStringLiteral("SH"), QString::fromLatin1(kDualSh));
        profile.m_accounts = {account("1001", 2, 2, kPlain), account("1001", 2, 7, kPlainOtherBroker), dual,
                              account("1003", 3, 11, kCredit)};
        m_pConfig = std::make_unique<TC::CUserConfig>(m_dir.filePath(QStringLiteral("user.ini")), profile);
        utils::CManualSingletonT<TC::CUserConfig>::setInstance(m_pConfig.get());
    }
    void TearDown() override { utils::CManualSingletonT<TC::CUserConfig>::setInstance(nullptr); }

    QTemporaryDir m_dir;
    std::unique_ptr<TC::CUserConfig> m_pConfig;
};

} // namespace

TEST_F(AccountLookupTest, OrderAccountColumnsResolveToTheKey)
{
    struct CRow
    {
        const char* pName;
        const char* pType;
        const char* pAccount;
        const char* pBroker;
        TC::EAccCenterType eCenter;
        const char* pExpected;
    };
    const CRow rows[] = {
        // "49" is what the instruction parser writes on every line without a full key: any type.
        {"AnyTypeTakesFirstInProfileOrder", "49", "1001", "", TC::ACC_CENTER_NONE, kPlain},
        {"EmptyTypeMeansAnyType", "", "1003", "", TC::ACC_CENTER_NONE, kCredit},
        {"MatchingTypeAndBroker", "3", "1003", "11", TC::ACC_CENTER_NONE, kCredit},
        {"OtherTypeFindsNothing", "2", "1003", "", TC::ACC_CENTER_NONE, ""},
        {"TypeThatIsNoNumberFindsNothing", "abc", "1001", "", TC::ACC_CENTER_NONE, ""},
        {"FullKeyNamesTheAccountToo", "2", kPlainOtherBroker, "7", TC::ACC_CENTER_NONE, kPlainOtherBroker},
        {"BrokerPicksAmongSameIds", "49", "1001", "7", TC::ACC_CENTER_NONE, kPlainOtherBroker},
        {"BrokerThatIsNoNumberFindsNothing", "49", "1001", "x", TC::ACC_CENTER_NONE, ""},
        {"EmptyIdFindsNothing", "49", "", "", TC::ACC_CENTER_NONE, ""},
        {"SubAccountKeyIsNoAccountOfItsOwn", "49", kDualSh, "", TC::ACC_CENTER_NONE, ""},
        {"IdIsComparedWhole", "49", "100", "", TC::ACC_CENTER_NONE, ""},
        {"DualCentreWithoutCentreKeepsOwnKey", "49", "1002", "", TC::ACC_CENTER_NONE, kDual},
        {"DualCentreGivesTheCentresSubAccount", "49", kDual, "", TC::ACC_CENTER_SH, kDualSh},
        {"CentreWithoutSubAccountKeepsOwnKey", "49", "1002", "", TC::ACC_CENTER_SZ, kDual},
        {"PlainAccountIgnoresTheCentre", "49", "1003", "", TC::ACC_CENTER_SH, kCredit},
        {"UnknownAccountOnACentreFindsNothing", "49", "9999", "", TC::ACC_CENTER_SH, ""},
    };
    for (const CRow& row : rows) {
        const QString strType = QString::fromLatin1(row.pType);
        const QString strAccount = QString::fromLatin1(row.pAccount);
        const QString strBroker = QString::fromLatin1(row.pBroker);
        EXPECT_EQ(TC::getAccountFromOrderParam(strType, strAccount, strBroker, row.eCenter).toStdString(),
                  row.pExpected)
            << row.pName;
        if (row.eCenter == TC::ACC_CENTER_NONE) {
            EXPECT_EQ(TC::getAccountFromOrderParam(strType, strAccount, strBroker).toStdString(),
                      row.pExpected)
                << row.pName << " without a centre";
        }
    }
}

TEST_F(AccountLookupTest, DataCentreFindsTheKeyByIdAtTheBrokerWhetherBoundOrInstalled)
{
    struct CRow
    {
        const char* pName;
        const char* pAccount;
        int nBroker;
        const char* pExpected;
    };
    const CRow rows[] = {
        {"IdAtBroker", "1001", 2, kPlain}, {"SameIdAtOtherBroker", "1001", 7, kPlainOtherBroker},
        {"FullKey", kDual, 7, kDual},      {"IdAtWrongBroker", "1003", 2, ""},
        {"UnknownId", "4242", 2, ""},      {"EmptyId", "", 2, ""},
    };
    const TC::CProfileDataCenter installed;
    const TC::CProfileDataCenter bound(*m_pConfig);
    for (const CRow& row : rows)
        EXPECT_EQ(installed.getAccountKeyById(row.pAccount, row.nBroker), row.pExpected) << row.pName;
    utils::CManualSingletonT<TC::CUserConfig>::setInstance(nullptr);
    for (const CRow& row : rows)
        EXPECT_EQ(bound.getAccountKeyById(row.pAccount, row.nBroker), row.pExpected) << row.pName << " bound";
    // Without a configuration installed, the look-ups that use it find nothing.
    EXPECT_EQ(installed.getAccountKeyById("1001", 2), std::string());
    EXPECT_EQ(TC::getAccountFromOrderParam("49", "1001", QString()), QString());
    EXPECT_EQ(TC::getAccountFromOrderParam("49", "1002", QString(), TC::ACC_CENTER_SH), QString());
}
