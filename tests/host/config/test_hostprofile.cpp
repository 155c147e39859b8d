#include "config/chostprofile.h"
#include "trading/tradetypes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <string>

using TC::CHostProfile;

namespace {

const char* const kPlainKey = "2____10____DEMO____2____8880000001";
const char* const kDualKey = "7____10____DEMO____2____8880000002";
const char* const kDualShKey = "7____10____DEMO-SH____2____8880000002";

// A small profile that passes every check; each error case breaks exactly one thing in it.
QJsonObject validProfile()
{
    return QJsonDocument::fromJson(R"({
        "accounts": [
            {"id": "8880000001", "type": 2, "broker": 2, "key": "2____10____DEMO____2____8880000001",
             "name": "普通账户", "dualCenter": false},
            {"id": "8880000002", "type": 2, "broker": 7, "key": "7____10____DEMO____2____8880000002",
             "name": "双中心账户", "dualCenter": true,
             "centerKeys": {"SH": "7____10____DEMO-SH____2____8880000002"}}
        ],
        "instruments": [
            {"market": "SH", "code": "600000", "name": "浦发银行", "types": [100028, 1]},
            {"market": "SZ", "code": "159919", "name": "沪深300ETF", "types": [100028, 300, 2]}
        ],
        "dbfPriceTypes": {"0": 11, "2001": 11},
        "algoSettings": [{"priceType": "2001", "name": "TWAP", "orderType": 24, "priceTypeValue": 11}],
        "algoRights": {"2____10____DEMO____2____8880000001": ["TWAP"]},
        "strategySubstitution": {"from": "旧策略", "to": "新策略"},
        "monitorProcesses": ["strategy-runner"]
    })")
        .object();
}

void editItem(QJsonObject& root, const QString& strArray, int nIndex,
              const std::function<void(QJsonObject&)>& edit)
{
    QJsonArray array = root.value(strArray).toArray();
    QJsonObject item = array.at(nIndex).toObject();
    edit(item);
    array[nIndex] = item;
    root[strArray] = array;
}

bool writeFile(const QString& strPath, const QByteArray& data)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

void expectEmpty(const CHostProfile& profile)
{
    EXPECT_TRUE(profile.m_accounts.isEmpty());
    EXPECT_TRUE(profile.m_instruments.isEmpty());
    EXPECT_TRUE(profile.m_dbfPriceTypes.isEmpty());
    EXPECT_TRUE(profile.m_algoSettings.isEmpty());
    EXPECT_TRUE(profile.m_algoRights.isEmpty());
    EXPECT_TRUE(profile.m_strStrategyReplaceFrom.isEmpty());
    EXPECT_TRUE(profile.m_strStrategyReplaceTo.isEmpty());
    EXPECT_TRUE(profile.m_monitorProcesses.isEmpty());
    EXPECT_TRUE(profile.path().isEmpty());
}

class HostProfileFileTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& data, const QString& strName = QStringLiteral("profile.json"))
    {
        const QString strPath = m_dir.filePath(strName);
        EXPECT_TRUE(writeFile(strPath, data));
        return strPath;
    }
    QString write(const QJsonObject& root) { return write(QJsonDocument(root).toJson()); }

    QTemporaryDir m_dir;
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// What a good file turns into.

TEST_F(HostProfileFileTest, ValidProfileFillsEveryMember)
{
    const QString strPath = write(validProfile());
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(strPath, strError)) << strError.toStdString();
    EXPECT_TRUE(strError.isEmpty());
    EXPECT_EQ(profile.path(), strPath);

    ASSERT_EQ(profile.m_accounts.size(), 2);
    const TC::CAccountData& plain = profile.m_accounts.at(0);
    EXPECT_EQ(plain.m_strId, QStringLiteral("8880000001"));
    EXPECT_EQ(plain.m_nType, 2);
    EXPECT_EQ(plain.m_nBroker, 2);
    EXPECT_EQ(plain.m_strKey, QString::fromLatin1(kPlainKey));
    EXPECT_EQ(plain.m_strName, QStringLiteral("普通账户"));
    EXPECT_FALSE(plain.m_bDualCenter);
    EXPECT_TRUE(plain.m_centerKeys.isEmpty());
    const TC::CAccountData& dual = profile.m_accounts.at(1);
    EXPECT_TRUE(dual.m_bDualCenter);
    EXPECT_EQ(dual.m_centerKeys.size(), 1);
    EXPECT_EQ(dual.m_centerKeys.value(QStringLiteral("SH")), QString::fromLatin1(kDualShKey));

    ASSERT_EQ(profile.m_instruments.size(), 2);
    EXPECT_EQ(profile.m_instruments.at(1).m_strMarket, QStringLiteral("SZ"));
    EXPECT_EQ(profile.m_instruments.at(1).m_strCode, QStringLiteral("159919"));
    EXPECT_EQ(profile.m_instruments.at(1).m_strName, QStringLiteral("沪深300ETF"));
    EXPECT_EQ(profile.m_instruments.at(1).m_types, (QSet<int>{100028, 300, 2}));

    EXPECT_EQ(profile.m_dbfPriceTypes.value(QStringLiteral("2001"), -1), 11);
    ASSERT_EQ(profile.m_algoSettings.size(), 1);
    EXPECT_EQ(profile.m_algoSettings.at(0).m_strPriceTypeCode, QStringLiteral("2001"));
    EXPECT_EQ(profile.m_algoSettings.at(0).m_strName, QStringLiteral("TWAP"));
    EXPECT_EQ(profile.m_algoSettings.at(0).m_nOrderType, 24);
    EXPECT_EQ(profile.m_algoSettings.at(0).m_nPriceType, 11);
    EXPECT_EQ(profile.m_algoRights.value(QString::fromLatin1(kPlainKey)),
              QSet<QString>{QStringLiteral("TWAP")});
    EXPECT_EQ(profile.m_strStrategyReplaceFrom, QStringLiteral("旧策略"));
    EXPECT_EQ(profile.m_strStrategyReplaceTo, QStringLiteral("新策略"));
    EXPECT_EQ(profile.m_monitorProcesses, QStringList{QStringLiteral("strategy-runner")});
}

TEST_F(HostProfileFileTest, ByteOrderMarkIsAccepted)
{
    const QString strPath = write(QByteArray("\xEF\xBB\xBF") + QJsonDocument(validProfile()).toJson());
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(strPath, strError)) << strError.toStdString();
    EXPECT_EQ(profile.m_accounts.at(0).m_strName, QStringLiteral("普通账户"));
}

TEST_F(HostProfileFileTest, KeysTheLoaderDoesNotKnowAreIgnored)
{
    QJsonObject root = validProfile();
    root[QStringLiteral("comment")] = QStringLiteral("edited by hand");
    editItem(root, QStringLiteral("accounts"), 0, [](QJsonObject& a) { a[QStringLiteral("remark")] = 1; });
    CHostProfile profile;
    QString strError;
    EXPECT_TRUE(profile.load(write(root), strError)) << strError.toStdString();
}

TEST_F(HostProfileFileTest, DualCentreAccountWithoutCentreKeysIsAccepted)
{
    QJsonObject root = validProfile();
    editItem(root, QStringLiteral("accounts"), 1,
             [](QJsonObject& a) { a.remove(QStringLiteral("centerKeys")); });
    root[QStringLiteral("algoRights")] = QJsonObject();
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(write(root), strError)) << strError.toStdString();
    EXPECT_TRUE(profile.m_accounts.at(1).m_bDualCenter);
    EXPECT_TRUE(profile.m_accounts.at(1).m_centerKeys.isEmpty());
}

// ---------------------------------------------------------------------------------------------------------
// Files that are not JSON at all.

TEST_F(HostProfileFileTest, MissingFileNamesTheFile)
{
    const QString strPath = m_dir.filePath(QStringLiteral("nowhere.json"));
    CHostProfile profile;
    QString strError;
    EXPECT_FALSE(profile.load(strPath, strError));
    EXPECT_TRUE(strError.startsWith(strPath + QStringLiteral(": cannot open"))) << strError.toStdString();
    expectEmpty(profile);
}

TEST_F(HostProfileFileTest, BrokenJsonGivesTheOffsetAndQtsReason)
{
    // The closing brace is missing: the parser stops at the very end of the text.
    const QByteArray data = "{\"accounts\": [] ";
    const QString strPath = write(data);
    CHostProfile profile;
    QString strError;
    EXPECT_FALSE(profile.load(strPath, strError));
    EXPECT_TRUE(strError.startsWith(strPath + QStringLiteral(": not valid JSON at offset ")))
        << strError.toStdString();
    QJsonParseError expected;
    QJsonDocument::fromJson(data, &expected);
    EXPECT_TRUE(strError.endsWith(
        QStringLiteral("at offset %1: %2").arg(expected.offset).arg(expected.errorString())))
        << strError.toStdString();
    expectEmpty(profile);
}

TEST_F(HostProfileFileTest, TopLevelArrayIsRejected)
{
    const QString strPath = write(QByteArray("[1, 2]"));
    CHostProfile profile;
    QString strError;
    EXPECT_FALSE(profile.load(strPath, strError));
    EXPECT_EQ(strError, strPath + QStringLiteral(": the top level must be a JSON object"));
}

TEST_F(HostProfileFileTest, FailedReloadLeavesNoTraceOfTheEarlierProfile)
{
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(write(validProfile()), strError));
    QJsonObject broken = validProfile();
    broken.remove(QStringLiteral("monitorProcesses"));
    EXPECT_FALSE(profile.load(write(broken), strError));
    expectEmpty(profile);
}

// ---------------------------------------------------------------------------------------------------------
// Table of schema errors: each row breaks one rule of a valid profile. The message must start with the file
// name and carry the row's fragment (key path and reason); nothing of the file may be kept.

namespace {

struct CSchemaErrorCase
{
    const char* m_pName;
    std::function<void(QJsonObject&)> m_edit;
    const char* m_pFragment;
};

std::function<void(QJsonObject&)> removeTop(const char* pKey)
{
    return [pKey](QJsonObject& root) { root.remove(QLatin1String(pKey)); };
}

std::function<void(QJsonObject&)> inItem(const char* pArray, int nIndex,
                                         std::function<void(QJsonObject&)> edit)
{
    return [=](QJsonObject& root) { editItem(root, QLatin1String(pArray), nIndex, edit); };
}

std::function<void(QJsonObject&)> removeIn(const char* pArray, int nIndex, const char* pKey)
{
    return inItem(pArray, nIndex, [pKey](QJsonObject& item) { item.remove(QLatin1String(pKey)); });
}

std::function<void(QJsonObject&)> setIn(const char* pArray, int nIndex, const char* pKey, QJsonValue value)
{
    return inItem(pArray, nIndex, [pKey, value](QJsonObject& item) { item[QLatin1String(pKey)] = value; });
}

std::function<void(QJsonObject&)> setTop(const char* pKey, QJsonValue value)
{
    return [pKey, value](QJsonObject& root) { root[QLatin1String(pKey)] = value; };
}

const CSchemaErrorCase kSchemaErrors[] = {
    // Every top-level key is required.
    {"MissingAccounts", removeTop("accounts"), "json: missing key \"accounts\""},
    {"MissingInstruments", removeTop("instruments"), "json: missing key \"instruments\""},
    {"MissingDbfPriceTypes", removeTop("dbfPriceTypes"), "json: missing key \"dbfPriceTypes\""},
    {"MissingAlgoSettings", removeTop("algoSettings"), "json: missing key \"algoSettings\""},
    {"MissingAlgoRights", removeTop("algoRights"), "json: missing key \"algoRights\""},
    {"MissingStrategySubstitution", removeTop("strategySubstitution"),
     "json: missing key \"strategySubstitution\""},
    {"MissingMonitorProcesses", removeTop("monitorProcesses"), "json: missing key \"monitorProcesses\""},
    // Every account key, reported on the account that lacks it.
    {"AccountMissingId", removeIn("accounts", 1, "id"), "accounts[1]: missing key \"id\""},
    {"AccountMissingType", removeIn("accounts", 1, "type"), "accounts[1]: missing key \"type\""},
    {"AccountMissingBroker", removeIn("accounts", 1, "broker"), "accounts[1]: missing key \"broker\""},
    {"AccountMissingKey", removeIn("accounts", 1, "key"), "accounts[1]: missing key \"key\""},
    {"AccountMissingName", removeIn("accounts", 1, "name"), "accounts[1]: missing key \"name\""},
    {"AccountMissingDualCenter", removeIn("accounts", 1, "dualCenter"),
     "accounts[1]: missing key \"dualCenter\""},
    {"InstrumentMissingMarket", removeIn("instruments", 1, "market"),
     "instruments[1]: missing key \"market\""},
    {"InstrumentMissingCode", removeIn("instruments", 1, "code"), "instruments[1]: missing key \"code\""},
    {"InstrumentMissingName", removeIn("instruments", 1, "name"), "instruments[1]: missing key \"name\""},
    {"InstrumentMissingTypes", removeIn("instruments", 1, "types"), "instruments[1]: missing key \"types\""},
    {"AlgoMissingPriceType", removeIn("algoSettings", 0, "priceType"),
     "algoSettings[0]: missing key \"priceType\""},
    {"AlgoMissingName", removeIn("algoSettings", 0, "name"), "algoSettings[0]: missing key \"name\""},
    {"AlgoMissingOrderType", removeIn("algoSettings", 0, "orderType"),
     "algoSettings[0]: missing key \"orderType\""},
    {"AlgoMissingPriceTypeValue", removeIn("algoSettings", 0, "priceTypeValue"),
     "algoSettings[0]: missing key \"priceTypeValue\""},
    {"SubstitutionMissingFrom",
     setTop("strategySubstitution", QJsonObject{{QStringLiteral("to"), QString()}}),
     "strategySubstitution: missing key \"from\""},
    {"SubstitutionMissingTo",
     setTop("strategySubstitution", QJsonObject{{QStringLiteral("from"), QString()}}),
     "strategySubstitution: missing key \"to\""},
    // Wrong types.
    {"AccountTypeAsText", setIn("accounts", 0, "type", QStringLiteral("2")),
     "accounts[0].type: expected an integer, found a string"},
    {"AccountBrokerFractional", setIn("accounts", 0, "broker", 2.5),
     "accounts[0].broker: expected an integer, found 2.5"},
    {"AccountIdEmpty", setIn("accounts", 0, "id", QString()), "accounts[0].id: must not be empty"},
    {"AccountDualCenterAsText", setIn("accounts", 0, "dualCenter", QStringLiteral("false")),
     "accounts[0].dualCenter: expected true or false, found a string"},
    {"AccountNotAnObject", setTop("accounts", QJsonArray{QStringLiteral("8880000001")}),
     "accounts[0]: expected an object, found a string"},
    {"AccountsNotAnArray", setTop("accounts", QJsonObject()), "accounts: expected an array, found an object"},
    {"InstrumentTypeAsText", setIn("instruments", 0, "types", QJsonArray{100028, QStringLiteral("1")}),
     "instruments[0].types[1]: expected an integer, found a string"},
    {"DbfPriceTypeAsText",
     setTop("dbfPriceTypes", QJsonObject{{QStringLiteral("2001"), QStringLiteral("11")}}),
     "dbfPriceTypes[\"2001\"]: expected an integer, found a string"},
    {"AlgoRightNameAsNumber", setTop("algoRights", QJsonObject{{QLatin1String(kPlainKey), QJsonArray{24}}}),
     "algoRights[\"2____10____DEMO____2____8880000001\"][0]: expected a string, found a number"},
    {"SubstitutionFromAsNull",
     setTop("strategySubstitution",
            QJsonObject{{QStringLiteral("from"), QJsonValue()}, {QStringLiteral("to"), QString()}}),
     "strategySubstitution.from: expected a string, found null"},
    {"MonitorProcessAsNumber", setTop("monitorProcesses", QJsonArray{1}),
     "monitorProcesses[0]: expected a string, found a number"},
    // Markets.
    {"MarketOutsideTheThree", setIn("instruments", 1, "market", QStringLiteral("HK")),
     "instruments[1].market: market must be SH, SZ or BJ, found \"HK\""},
    {"MarketInLowerCase", setIn("instruments", 0, "market", QStringLiteral("sh")),
     "instruments[0].market: market must be SH, SZ or BJ, found \"sh\""},
    {"CentreKeyOnUnknownMarket",
     setIn("accounts", 1, "centerKeys", QJsonObject{{QStringLiteral("HK"), QLatin1String(kDualShKey)}}),
     "accounts[1].centerKeys[\"HK\"]: market must be SH, SZ or BJ"},
    // Duplicates.
    {"DuplicateAccountKey",
     inItem("accounts", 1,
            [](QJsonObject& a) {
                a[QStringLiteral("broker")] = 2;
                a[QStringLiteral("key")] = QLatin1String(kPlainKey);
                a[QStringLiteral("dualCenter")] = false;
                a.remove(QStringLiteral("centerKeys"));
            }),
     "accounts[1].key: duplicate account key \"2____10____DEMO____2____8880000001\" (already used by "
     "accounts[0].key)"},
    {"CentreKeyEqualToAnotherAccountsKey",
     setIn("accounts", 1, "centerKeys", QJsonObject{{QStringLiteral("SZ"), QLatin1String(kDualKey)}}),
     "accounts[1].centerKeys[\"SZ\"]: duplicate account key"},
    {"DuplicateInstrument",
     inItem("instruments", 1,
            [](QJsonObject& i) {
                i[QStringLiteral("market")] = QStringLiteral("SH");
                i[QStringLiteral("code")] = QStringLiteral("600000");
            }),
     "instruments[1]: duplicate instrument SH 600000 (already in instruments[0])"},
    {"DuplicateAlgoCode",
     setTop("algoSettings", QJsonArray{QJsonObject{{QStringLiteral("priceType"), QStringLiteral("2001")},
                                                   {QStringLiteral("name"), QStringLiteral("TWAP")},
                                                   {QStringLiteral("orderType"), 24},
                                                   {QStringLiteral("priceTypeValue"), 11}},
                                       QJsonObject{{QStringLiteral("priceType"), QStringLiteral("2001")},
                                                   {QStringLiteral("name"), QStringLiteral("VWAP")},
                                                   {QStringLiteral("orderType"), 26},
                                                   {QStringLiteral("priceTypeValue"), 11}}}),
     "algoSettings[1].priceType: duplicate price type code \"2001\""},
    // Account keys must agree with the account's numbers.
    {"KeyBrokerDiffersFromBroker", setIn("accounts", 0, "broker", 7),
     "accounts[0].key: account key \"2____10____DEMO____2____8880000001\" starts with broker \"2\" but "
     "broker is 7"},
    {"KeyTypeDiffersFromType", setIn("accounts", 0, "type", 3),
     "accounts[0].key: account key \"2____10____DEMO____2____8880000001\" carries account type \"2\""},
    {"KeyWithFourParts", setIn("accounts", 0, "key", QStringLiteral("2____10____2____8880000001")),
     "must have 5 parts separated by \"____\", found 4"},
    {"KeyWithEmptyPart", setIn("accounts", 0, "key", QStringLiteral("2________DEMO____2____8880000001")),
     "has an empty part 1"},
    {"CentreKeyOfAnotherBroker",
     setIn("accounts", 1, "centerKeys",
           QJsonObject{{QStringLiteral("SH"), QStringLiteral("2____10____X____2____1")}}),
     "accounts[1].centerKeys[\"SH\"]: account key \"2____10____X____2____1\" starts with broker \"2\" but "
     "broker is 7"},
    {"CentreKeysOnPlainAccount",
     setIn("accounts", 0, "centerKeys",
           QJsonObject{{QStringLiteral("SH"), QStringLiteral("2____10____X____2____1")}}),
     "accounts[0].centerKeys: only a dual-centre account"},
    // Cross references.
    {"AlgoCodeMissingFromDbfPriceTypes", setTop("dbfPriceTypes", QJsonObject{{QStringLiteral("0"), 11}}),
     "algoSettings[0].priceType: price type code \"2001\" is not in dbfPriceTypes"},
    {"AlgoRightsForUnknownAccount",
     setTop("algoRights", QJsonObject{{QStringLiteral("2____10____DEMO____2____1"), QJsonArray()}}),
     "algoRights[\"2____10____DEMO____2____1\"]: no account has the key"},
};

class HostProfileSchemaTest : public ::testing::TestWithParam<CSchemaErrorCase>
{
protected:
    QTemporaryDir m_dir;
};

} // namespace

TEST_P(HostProfileSchemaTest, RejectsWithFileAndKeyAndKeepsNothing)
{
    QJsonObject root = validProfile();
    GetParam().m_edit(root);
    const QString strPath = m_dir.filePath(QStringLiteral("profile.json"));
    ASSERT_TRUE(writeFile(strPath, QJsonDocument(root).toJson()));

    CHostProfile profile;
    QString strError;
    EXPECT_FALSE(profile.load(strPath, strError));
    EXPECT_TRUE(strError.startsWith(strPath + QStringLiteral(": "))) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QString::fromUtf8(GetParam().m_pFragment))) << strError.toStdString();
    expectEmpty(profile);
}

INSTANTIATE_TEST_SUITE_P(Profile, HostProfileSchemaTest, ::testing::ValuesIn(kSchemaErrors),
                         [](const ::testing::TestParamInfo<CSchemaErrorCase>& info) {
                             return std::string(info.param.m_pName);
                         });

// ---------------------------------------------------------------------------------------------------------
// The default profile shipped with the host.

class ShippedProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString strError;
        ASSERT_TRUE(m_profile.load(QStringLiteral(BATCHORDER_SOURCE_DIR "/examples/profile.json"), strError))
            << strError.toStdString();
    }

    CHostProfile m_profile;
};

TEST_F(ShippedProfileTest, HasThirtyInstrumentsOnAllThreeMarkets)
{
    EXPECT_GE(m_profile.m_instruments.size(), 30);
    QHash<QString, int> perMarket;
    for (const TC::CInstrument& instrument : qAsConst(m_profile.m_instruments)) {
        ++perMarket[instrument.m_strMarket];
        EXPECT_FALSE(instrument.m_strName.isEmpty()) << instrument.m_strCode.toStdString();
        // Every ordinary stock and ETF trades through the account of its own centre, and is one of the two.
        EXPECT_TRUE(instrument.m_types.contains(100028)) << instrument.m_strCode.toStdString();
        EXPECT_NE(instrument.m_types.contains(1), instrument.m_types.contains(2))
            << instrument.m_strCode.toStdString();
    }
    EXPECT_GT(perMarket.value(QStringLiteral("SH")), 0);
    EXPECT_GT(perMarket.value(QStringLiteral("SZ")), 0);
    EXPECT_GT(perMarket.value(QStringLiteral("BJ")), 0);
}

TEST_F(ShippedProfileTest, CrossMarketEtfsAreMarked)
{
    int nCrossMarket = 0;
    for (const TC::CInstrument& instrument : qAsConst(m_profile.m_instruments)) {
        if (instrument.m_types.contains(300)) {
            ++nCrossMarket;
            EXPECT_TRUE(instrument.m_types.contains(2))
                << "only ETFs settle on another centre: " << instrument.m_strCode.toStdString();
        }
    }
    EXPECT_GE(nCrossMarket, 1);
}

TEST_F(ShippedProfileTest, HasPlainDualCentreAndCreditAccounts)
{
    ASSERT_EQ(m_profile.m_accounts.size(), 3);
    int nDual = 0;
    int nCredit = 0;
    for (const TC::CAccountData& account : qAsConst(m_profile.m_accounts)) {
        if (account.m_bDualCenter) {
            ++nDual;
            EXPECT_EQ(account.m_centerKeys.keys(),
                      (QStringList{QStringLiteral("BJ"), QStringLiteral("SH"), QStringLiteral("SZ")}));
            // Each centre has an account of its own, not the main one again.
            for (const QString& strKey : account.m_centerKeys) {
                EXPECT_NE(strKey, account.m_strKey);
            }
        }
        if (account.m_nType == 3) {
            ++nCredit;
            EXPECT_TRUE(m_profile.m_algoRights.value(account.m_strKey).isEmpty())
                << "credit trades no algorithm";
        }
    }
    EXPECT_EQ(nDual, 1);
    EXPECT_EQ(nCredit, 1);
}

TEST_F(ShippedProfileTest, AlgorithmSettingsSelectTheHostAlgorithms)
{
    QSet<int> orderTypes;
    for (const TC::CDbfAlgoParam& param : qAsConst(m_profile.m_algoSettings)) {
        orderTypes.insert(param.m_nOrderType);
    }
    EXPECT_EQ(orderTypes, (QSet<int>{ttservice::OTP_TWAP, ttservice::OTP_VWAP, ttservice::OTP_ICEBERG,
                                     ttservice::OTP_FOLLOW}));
    // Codes of plain price types resolve to a real price type.
    EXPECT_EQ(m_profile.m_dbfPriceTypes.value(QStringLiteral("11"), -1), ttservice::PRTP_FIX);
    EXPECT_EQ(m_profile.m_dbfPriceTypes.value(QStringLiteral("49"), -1), ttservice::PRTP_MODEL);
}
