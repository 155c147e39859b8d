#include "config/accountlookup.h"
#include "config/cuserconfig.h"
#include "trading/cprofiledatacenter.h"
#include "trading/tradercenter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <string>

using TC::EAccCenterType;

namespace {

const char* const kPlain = "2____10____DEMO____2____1001";
const char* const kPlainOtherBroker = "7____10____DEMO____2____1001";
const char* const kCredit = "11____10____DEMO____3____1003";
const char* const kDual = "7____10____DEMO____2____1002";
const char* const kDualSh = "7____10____DEMO-SH____2____1002";
const char* const kDualSz = "7____10____DEMO-SZ____2____1002";

TC::CAccountData account(const char* pId, int nType, int nBroker, const char* pKey, bool bDual = false)
{
    TC::CAccountData data;
    data.m_strId = QString::fromLatin1(pId);
    data.m_nType = nType;
    data.m_nBroker = nBroker;
    data.m_strKey = QString::fromLatin1(pKey);
    data.m_bDualCenter = bDual;
    return data;
}

// Id 1001 exists at two brokers (first at broker 2), so the order of the profile matters; the
// dual-centre account has sub-accounts on SH and SZ only.
TC::CHostProfile lookupProfile()
{
    TC::CHostProfile profile;
    TC::CAccountData dual = account("1002", 2, 7, kDual, true);
    dual.m_centerKeys.insert(QStringLiteral("SH"), QString::fromLatin1(kDualSh));
    dual.m_centerKeys.insert(QStringLiteral("SZ"), QString::fromLatin1(kDualSz));
    profile.m_accounts = {account("1001", 2, 2, kPlain), account("1001", 2, 7, kPlainOtherBroker), dual,
                          account("1003", 3, 11, kCredit)};
    return profile;
}

// Installs a user configuration over the lookup profile for the duration of a test.
class InstalledConfig
{
public:
    InstalledConfig()
        : m_pConfig(
              std::make_unique<TC::CUserConfig>(m_dir.filePath(QStringLiteral("user.ini")), lookupProfile()))
    {
        utils::CManualSingletonT<TC::CUserConfig>::setInstance(m_pConfig.get());
    }
    ~InstalledConfig() { utils::CManualSingletonT<TC::CUserConfig>::setInstance(nullptr); }

    const TC::CUserConfig& config() const { return *m_pConfig; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TC::CUserConfig> m_pConfig;
};

struct CLookupCase
{
    const char* m_pName;
    const char* m_pType;
    const char* m_pAccount;
    const char* m_pBroker;
    const char* m_pExpected;
};

const CLookupCase kLookups[] = {
    // "49" is what the instruction parser writes for every line without a full key: any type.
    {"AnyTypeFindsStockAccount", "49", "1001", "", kPlain},
    {"AnyTypeFindsCreditAccount", "49", "1003", "", kCredit},
    {"EmptyTypeMeansAnyType", "", "1003", "", kCredit},
    {"MatchingTypeNumber", "3", "1003", "11", kCredit},
    {"OtherTypeNumberFindsNothing", "2", "1003", "", ""},
    {"TypeThatIsNoNumberFindsNothing", "abc", "1001", "", ""},
    // A full key names the account as well as its id does.
    {"FullKeyWithAnyType", "49", kCredit, "", kCredit},
    {"FullKeyWithItsOwnNumbers", "3", kCredit, "11", kCredit},
    {"FullKeyAskedWithOtherTypeFindsNothing", "2", kCredit, "11", ""},
    {"FullKeyOfSecondAccountWithSameId", "2", kPlainOtherBroker, "7", kPlainOtherBroker},
    // Broker filter.
    {"EmptyBrokerTakesFirstInProfileOrder", "49", "1001", "", kPlain},
    {"BrokerPicksAmongSameIds", "49", "1001", "7", kPlainOtherBroker},
    {"BrokerWithoutSuchAccount", "49", "1003", "2", ""},
    {"BrokerThatIsNoNumber", "49", "1001", "x", ""},
    // Nothing matching.
    {"UnknownId", "49", "9999", "", ""},
    {"EmptyId", "49", "", "", ""},
    {"SubAccountKeyIsNotAnAccountOfItsOwn", "49", kDualSh, "", ""},
    {"IdIsComparedWhole", "49", "100", "", ""},
};

class AccountLookupTest : public ::testing::TestWithParam<CLookupCase>
{
protected:
    InstalledConfig m_installed;
};

} // namespace

TEST_P(AccountLookupTest, ResolvesAccountColumns)
{
    const CLookupCase& row = GetParam();
    EXPECT_EQ(TC::getAccountFromOrderParam(QString::fromLatin1(row.m_pType),
                                           QString::fromLatin1(row.m_pAccount),
                                           QString::fromLatin1(row.m_pBroker)),
              QString::fromLatin1(row.m_pExpected));
}

INSTANTIATE_TEST_SUITE_P(Lookup, AccountLookupTest, ::testing::ValuesIn(kLookups),
                         [](const ::testing::TestParamInfo<CLookupCase>& info) {
                             return std::string(info.param.m_pName);
                         });

namespace {

struct CCenterCase
{
    const char* m_pName;
    const char* m_pAccount;
    EAccCenterType m_eCenter;
    const char* m_pExpected;
};

const CCenterCase kCenters[] = {
    {"DualCentreOnSh", "1002", TC::ACC_CENTER_SH, kDualSh},
    {"DualCentreOnSz", "1002", TC::ACC_CENTER_SZ, kDualSz},
    {"DualCentreWithoutBjSubAccountKeepsOwnKey", "1002", TC::ACC_CENTER_BJ, kDual},
    {"DualCentreWithoutCentreKeepsOwnKey", "1002", TC::ACC_CENTER_NONE, kDual},
    {"DualCentreByFullKey", kDual, TC::ACC_CENTER_SZ, kDualSz},
    {"PlainAccountIgnoresCentre", "1003", TC::ACC_CENTER_SH, kCredit},
    {"UnknownAccountStaysEmpty", "9999", TC::ACC_CENTER_SH, ""},
};

class AccountCenterLookupTest : public ::testing::TestWithParam<CCenterCase>
{
protected:
    InstalledConfig m_installed;
};

} // namespace

TEST_P(AccountCenterLookupTest, PicksTheSubAccountOfTheCentre)
{
    const CCenterCase& row = GetParam();
    EXPECT_EQ(TC::getAccountFromOrderParam(QStringLiteral("49"), QString::fromLatin1(row.m_pAccount),
                                           QString(), row.m_eCenter),
              QString::fromLatin1(row.m_pExpected));
}

INSTANTIATE_TEST_SUITE_P(Lookup, AccountCenterLookupTest, ::testing::ValuesIn(kCenters),
                         [](const ::testing::TestParamInfo<CCenterCase>& info) {
                             return std::string(info.param.m_pName);
                         });

TEST(AccountLookupWithoutConfig, FindsNothing)
{
    ASSERT_EQ(TC::getUserConfig(), nullptr);
    EXPECT_EQ(TC::getAccountFromOrderParam(QStringLiteral("49"), QStringLiteral("1001"), QString()),
              QString());
    EXPECT_EQ(TC::getAccountFromOrderParam(QStringLiteral("49"), QStringLiteral("1002"), QString(),
                                           TC::ACC_CENTER_SH),
              QString());
}

// ---------------------------------------------------------------------------------------------------------
// Data centre

namespace {

struct CDataCenterCase
{
    const char* m_pName;
    const char* m_pAccount;
    int m_nBroker;
    const char* m_pExpected;
};

const CDataCenterCase kDataCenter[] = {
    {"IdAtBroker", "1001", 2, kPlain},
    {"SameIdAtOtherBroker", "1001", 7, kPlainOtherBroker},
    {"AccountTypeDoesNotMatter", "1003", 11, kCredit},
    {"FullKeyAtItsBroker", kDual, 7, kDual},
    {"IdAtWrongBroker", "1003", 2, ""},
    {"UnknownId", "4242", 2, ""},
    {"EmptyId", "", 2, ""},
};

class DataCenterTest : public ::testing::TestWithParam<CDataCenterCase>
{
protected:
    InstalledConfig m_installed;
};

} // namespace

TEST_P(DataCenterTest, BoundAndInstalledConfigsAnswerAlike)
{
    const CDataCenterCase& row = GetParam();
    const TC::CProfileDataCenter bound(m_installed.config());
    const TC::CProfileDataCenter installed;
    EXPECT_EQ(bound.getAccountKeyById(row.m_pAccount, row.m_nBroker), std::string(row.m_pExpected));
    EXPECT_EQ(installed.getAccountKeyById(row.m_pAccount, row.m_nBroker), std::string(row.m_pExpected));
}

INSTANTIATE_TEST_SUITE_P(Lookup, DataCenterTest, ::testing::ValuesIn(kDataCenter),
                         [](const ::testing::TestParamInfo<CDataCenterCase>& info) {
                             return std::string(info.param.m_pName);
                         });

TEST(DataCenterWithoutConfig, FindsNothing)
{
    ASSERT_EQ(TC::getUserConfig(), nullptr);
    EXPECT_EQ(TC::CProfileDataCenter().getAccountKeyById("1001", 2), std::string());
}

TEST(TraderCenter, HandsOutTheInstalledDataCenter)
{
    ttservice::TraderCenter* pCenter = ttservice::TraderCenter::instance();
    ASSERT_NE(pCenter, nullptr);
    EXPECT_EQ(pCenter, ttservice::TraderCenter::instance());
    EXPECT_EQ(pCenter->getDataCenter(), nullptr);

    InstalledConfig installed;
    TC::CProfileDataCenter dataCenter(installed.config());
    pCenter->setDataCenter(&dataCenter);
    ASSERT_EQ(ttservice::TraderCenter::instance()->getDataCenter(), &dataCenter);
    EXPECT_EQ(ttservice::TraderCenter::instance()->getDataCenter()->getAccountKeyById("1003", 11),
              std::string(kCredit));
    pCenter->setDataCenter(nullptr);
    EXPECT_EQ(pCenter->getDataCenter(), nullptr);
}
