#include "config/chostprofile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <vector>

using TC::CHostProfile;

namespace {

// A small profile that passes every check, with keys the loader does not know; each error case breaks
// exactly one thing in it.
const char* const kValidProfile = R"({
    "accounts": [
        {"id": "1", "type": 2, "broker": 2, "key": "2____1____D____2____1", "name": "普通账户",
         "dualCenter": false, "remark": 1},
        {"id": "2", "type": 2, "broker": 7, "key": "7____1____D____2____2", "name": "双中心账户",
         "dualCenter": true, "centerKeys": {"SH": "7____1____D-SH____2____2"}},
        {"id": "3", "type": 2, "broker": 7, "key": "7____1____D____2____3", "name": "", "dualCenter": true}
    ],
    "instruments": [
        {"market": "SH", "code": "600000", "name": "浦发银行", "types": [100028, 1]},
        {"market": "SZ", "code": "159919", "name": "沪深300ETF", "types": [100028, 300, 2]}
    ],
    "dbfPriceTypes": {"0": 11, "2001": 11},
    "algoSettings": [{"priceType": "2001", "name": "TWAP", "orderType": 24, "priceTypeValue": 12}],
    "algoRights": {"2____1____D____2____1": ["TWAP"]},
    "strategySubstitution": {"from": "旧策略", "to": "新策略"},
    "monitorProcesses": ["strategy-runner"],
    "comment": "edited by hand"
})";

// Returns node with the value at the path ("accounts.1.key"; an index one past the end appends) replaced,
// or removed when value is undefined.
QJsonValue patched(const QJsonValue& node, QStringList path, const QJsonValue& value)
{
    if (path.isEmpty()) {
        return value;
    }
    const QString strHead = path.takeFirst();
    bool bIndex = false;
    const int nIndex = strHead.toInt(&bIndex);
    if (bIndex) {
        QJsonArray array = node.toArray();
        const QJsonValue child = patched(array.at(nIndex), path, value);
        nIndex < array.size() ? void(array[nIndex] = child) : array.append(child);
        return array;
    }
    QJsonObject object = node.toObject();
    const QJsonValue child = patched(object.value(strHead), path, value);
    child.isUndefined() ? object.remove(strHead) : void(object[strHead] = child);
    return object;
}

// The valid profile with the value at a path such as "accounts[1].key" set to a JSON text, or removed
// when the text is null.
QByteArray edited(const QString& strPath, const char* pJson)
{
    const QJsonValue value = pJson ? QJsonDocument::fromJson(QByteArray("[") + pJson + "]").array().at(0)
                                   : QJsonValue(QJsonValue::Undefined);
    const QStringList path =
        QString(strPath).replace(QLatin1Char('['), QLatin1Char('.')).remove(']').split('.');
    return QJsonDocument(patched(QJsonDocument::fromJson(kValidProfile).object(), path, value).toObject())
        .toJson();
}

bool isEmpty(const CHostProfile& profile)
{
    return profile.m_accounts.isEmpty() && profile.m_instruments.isEmpty() &&
           profile.m_dbfPriceTypes.isEmpty() && profile.m_algoSettings.isEmpty() &&
           profile.m_algoRights.isEmpty() && profile.m_strStrategyReplaceFrom.isEmpty() &&
           profile.m_strStrategyReplaceTo.isEmpty() && profile.m_monitorProcesses.isEmpty() &&
           profile.path().isEmpty();
}

class HostProfileTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& data)
    {
        QFile file(m_strPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size());
        return m_strPath;
    }

    // Loads the file over a good profile: the load must fail with a message that starts with the file
    // name and carries the fragment, and leave nothing of either profile behind.
    void expectRejected(const QByteArray& data, const QString& strFragment)
    {
        CHostProfile profile;
        QString strError;
        ASSERT_TRUE(profile.load(write(kValidProfile), strError)) << strError.toStdString();
        EXPECT_FALSE(profile.load(write(data), strError));
        EXPECT_TRUE(strError.startsWith(m_strPath + QStringLiteral(": ")) && strError.contains(strFragment))
            << strError.toStdString() << "\n  expected: " << strFragment.toStdString();
        EXPECT_TRUE(isEmpty(profile));
    }

    QTemporaryDir m_dir;
    QString m_strPath = m_dir.filePath(QStringLiteral("profile.json"));
};

} // namespace

TEST_F(HostProfileTest, ValidProfileWithByteOrderMarkFillsEveryMember)
{
    // Editors on Windows like to start UTF-8 files with a byte order mark.
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(write(QByteArray("\xEF\xBB\xBF") + kValidProfile), strError))
        << strError.toStdString();
    EXPECT_EQ(profile.path(), m_strPath);
    ASSERT_EQ(profile.m_accounts.size(), 3);
    const TC::CAccountData& plain = profile.m_accounts.at(0);
    const TC::CInstrument& etf = profile.m_instruments.value(1);
    const TC::CDbfAlgoParam& algo = profile.m_algoSettings.value(0);
    // clang-format off
    const QStringList values = {
        plain.m_strId, QString::number(plain.m_nType), QString::number(plain.m_nBroker), plain.m_strKey,
        plain.m_strName, etf.m_strMarket, etf.m_strCode, etf.m_strName, algo.m_strPriceTypeCode,
        algo.m_strName, QString::number(algo.m_nOrderType), QString::number(algo.m_nPriceType),
        profile.m_strStrategyReplaceFrom, profile.m_strStrategyReplaceTo,
        profile.m_monitorProcesses.join(',')};
    // clang-format on
    EXPECT_EQ(values.join('|'),
              QStringLiteral("1|2|2|2____1____D____2____1|普通账户|SZ|159919|沪深300ETF|2001|TWAP|"
                             "24|12|旧策略|新策略|strategy-runner"));
    EXPECT_EQ(etf.m_types, (QSet<int>{100028, 300, 2}));
    EXPECT_EQ(profile.m_dbfPriceTypes,
              (QHash<QString, int>{{QStringLiteral("0"), 11}, {QStringLiteral("2001"), 11}}));
    EXPECT_EQ(profile.m_algoRights.value(plain.m_strKey), QSet<QString>{QStringLiteral("TWAP")});
    EXPECT_FALSE(plain.m_bDualCenter);
    EXPECT_TRUE(profile.m_accounts.at(1).m_bDualCenter);
    EXPECT_EQ(profile.m_accounts.at(1).m_centerKeys.value(QStringLiteral("SH")),
              QStringLiteral("7____1____D-SH____2____2"));
    EXPECT_TRUE(profile.m_accounts.at(2).m_bDualCenter && profile.m_accounts.at(2).m_centerKeys.isEmpty())
        << "a dual-centre account may trade every centre through its own key";
}

TEST_F(HostProfileTest, FileThatIsNoJsonObjectIsNamedWithTheReason)
{
    expectRejected("[1, 2]", QStringLiteral("the top level must be a JSON object"));
    // The closing brace is missing: the parser stops at the very end of the text.
    expectRejected("{\"accounts\": [] ", QStringLiteral("not valid JSON at offset 16: "));
    CHostProfile profile;
    QString strError;
    const QString strMissing = m_dir.filePath(QStringLiteral("nowhere.json"));
    EXPECT_FALSE(profile.load(strMissing, strError));
    EXPECT_TRUE(strError.startsWith(strMissing + QStringLiteral(": cannot open"))) << strError.toStdString();
}

TEST_F(HostProfileTest, EveryRequiredKeyIsNamedWhenMissing)
{
    const QString strPaths = QStringLiteral(
        "accounts instruments dbfPriceTypes algoSettings algoRights strategySubstitution monitorProcesses "
        "accounts[1].id accounts[1].type accounts[1].broker accounts[1].key accounts[1].name "
        "accounts[1].dualCenter instruments[1].market instruments[1].code instruments[1].name "
        "instruments[1].types algoSettings[0].priceType algoSettings[0].name algoSettings[0].orderType "
        "algoSettings[0].priceTypeValue strategySubstitution.from strategySubstitution.to");
    for (const QString& strPath : strPaths.split(QLatin1Char(' '))) {
        // "<file>: missing key "accounts"", "<file>: accounts[1]: missing key "id"".
        const int nDot = strPath.lastIndexOf(QLatin1Char('.'));
        const QString strWhere = nDot < 0 ? QString() : strPath.left(nDot) + QStringLiteral(": ");
        expectRejected(
            edited(strPath, nullptr),
            QStringLiteral("%1: %2missing key \"%3\"").arg(m_strPath, strWhere, strPath.mid(nDot + 1)));
    }
}

TEST_F(HostProfileTest, BrokenValueIsNamedWithItsKeyAndReason)
{
    // Name, path, the JSON text put there, what the message says after the file name.
    const std::vector<std::array<const char*, 4>> rows = {
        // clang-format off
        {"FractionalInteger", "accounts[0].broker", "2.5",
         "accounts[0].broker: expected an integer, found 2.5"},
        {"EmptyId", "accounts[0].id", "\"\"", "accounts[0].id: must not be empty"},
        {"BoolAsText", "accounts[0].dualCenter", "\"false\"",
         "accounts[0].dualCenter: expected true or false, found a string"},
        {"ObjectForArray", "accounts", "{}", "accounts: expected an array, found an object"},
        {"NestedIndexInPath", "instruments[0].types", "[1, \"1\"]",
         "instruments[0].types[1]: expected an integer, found a string"},
        {"EntryNameInPath", "dbfPriceTypes", "{\"2001\": \"11\"}",
         "dbfPriceTypes[\"2001\"]: expected an integer, found a string"},
        {"MarketIsCaseSensitive", "instruments[0].market", "\"sh\"",
         "instruments[0].market: market must be SH, SZ or BJ, found \"sh\""},
        {"CentreOnUnknownMarket", "accounts[1].centerKeys", "{\"HK\": \"7____1____X____2____2\"}",
         "accounts[1].centerKeys[\"HK\"]: market must be SH, SZ or BJ"},
        {"CentreKeysOnPlainAccount", "accounts[0].centerKeys", "{}",
         "accounts[0].centerKeys: only a dual-centre account"},
        {"KeyOfAnotherBroker", "accounts[0].broker", "7",
         "accounts[0].key: account key \"2____1____D____2____1\" starts with broker \"2\" but broker is 7"},
        {"KeyOfAnotherType", "accounts[0].type", "3",
         "accounts[0].key: account key \"2____1____D____2____1\" carries account type \"2\""},
        {"KeyWithFourParts", "accounts[0].key", "\"2____1____2____1\"",
         "accounts[0].key: account key \"2____1____2____1\" must have 5 parts separated by \"____\", "
         "found 4"},
        {"KeyWithEmptyPart", "accounts[0].key", "\"2________D____2____1\"",
         "accounts[0].key: account key \"2________D____2____1\" has an empty part 1"},
        {"CentreKeyOfAnotherBroker", "accounts[1].centerKeys", "{\"SH\": \"2____1____X____2____2\"}",
         "accounts[1].centerKeys[\"SH\"]: account key \"2____1____X____2____2\" starts with broker \"2\""},
        {"DuplicateKey", "accounts[3]",
         R"({"id": "4", "type": 2, "broker": 2, "key": "2____1____D____2____1", "name": "",)"
         R"( "dualCenter": false})",
         "accounts[3].key: duplicate account key \"2____1____D____2____1\" (already used by "
         "accounts[0].key)"},
        {"CentreKeyIsAMainKey", "accounts[1].centerKeys", "{\"SZ\": \"7____1____D____2____2\"}",
         "accounts[1].centerKeys[\"SZ\"]: duplicate account key"},
        {"DuplicateInstrument", "instruments[1]",
         R"({"market": "SH", "code": "600000", "name": "", "types": []})",
         "instruments[1]: duplicate instrument SH 600000 (already in instruments[0])"},
        {"DuplicateAlgoCode", "algoSettings[1]",
         R"({"priceType": "2001", "name": "VWAP", "orderType": 26, "priceTypeValue": 11})",
         "algoSettings[1].priceType: duplicate price type code \"2001\""},
        {"AlgoCodeWithoutPriceType", "dbfPriceTypes", "{\"0\": 11}",
         "algoSettings[0].priceType: price type code \"2001\" is not in dbfPriceTypes"},
        {"RightsOfUnknownAccount", "algoRights", "{\"2____1____D____2____9\": []}",
         "algoRights[\"2____1____D____2____9\"]: no account has the key"},
        {"EmptyModuleName", "modules", "[\"mdl_order\", \" \"]", "modules[1]: must not be empty"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        expectRejected(edited(QLatin1String(row[1]), row[2]), QString::fromUtf8(row[3]));
    }
}

TEST(ShippedProfileTest, HasThirtyStocksAndEtfsOnAllThreeMarketsAndADualCentreAccount)
{
    CHostProfile profile;
    QString strError;
    ASSERT_TRUE(profile.load(QStringLiteral(BATCHORDER_SOURCE_DIR "/examples/profile.json"), strError))
        << strError.toStdString();
    EXPECT_GE(profile.m_instruments.size(), 30);
    QSet<QString> markets;
    QSet<int> kinds;
    for (const TC::CInstrument& instrument : qAsConst(profile.m_instruments)) {
        markets.insert(instrument.m_strMarket);
        // Each is a stock (1) or an ETF (2), never both.
        EXPECT_NE(instrument.m_types.contains(1), instrument.m_types.contains(2))
            << instrument.m_strCode.toStdString();
        kinds.insert(instrument.m_types.contains(1) ? 1 : 2);
    }
    EXPECT_EQ(markets, (QSet<QString>{QStringLiteral("SH"), QStringLiteral("SZ"), QStringLiteral("BJ")}));
    EXPECT_EQ(kinds, (QSet<int>{1, 2}));
    EXPECT_GE(profile.m_accounts.size(), 3);
    const auto isDual = [](const TC::CAccountData& account) { return account.m_bDualCenter; };
    EXPECT_EQ(std::count_if(profile.m_accounts.begin(), profile.m_accounts.end(), isDual), 1);
}
