#include "config/chostprofile.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <climits>
#include <cmath>
#include <utility>

namespace TC {

namespace {

const QString kKeySeparator = QStringLiteral("____");
const int kKeyParts = 5;
const QStringList kMarkets = {QStringLiteral("SH"), QStringLiteral("SZ"), QStringLiteral("BJ")};

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("nothing");
    }
}

QString memberPath(const QString& strParent, const QString& strKey)
{
    return strParent.isEmpty() ? strKey : strParent + QLatin1Char('.') + strKey;
}

QString indexPath(const QString& strParent, int nIndex)
{
    return QStringLiteral("%1[%2]").arg(strParent).arg(nIndex);
}

// Entries of map-like objects (codes, account keys) are named in brackets, as their keys may hold dots.
QString entryPath(const QString& strParent, const QString& strKey)
{
    return QStringLiteral("%1[\"%2\"]").arg(strParent, strKey);
}

// Typed access to the JSON tree that remembers the first problem, worded with the file and key path.
class CProfileReader
{
public:
    explicit CProfileReader(const QString& strFile) : m_strFile(strFile) {}

    const QString& error() const { return m_strError; }

    bool fail(const QString& strPath, const QString& strMessage)
    {
        if (m_strError.isEmpty()) {
            m_strError = strPath.isEmpty() ? QStringLiteral("%1: %2").arg(m_strFile, strMessage)
                                           : QStringLiteral("%1: %2: %3").arg(m_strFile, strPath, strMessage);
        }
        return false;
    }

    bool member(const QJsonObject& obj, const QString& strPath, const QString& strKey, QJsonValue& value)
    {
        auto it = obj.constFind(strKey);
        if (it == obj.constEnd()) {
            return fail(strPath, QStringLiteral("missing key \"%1\"").arg(strKey));
        }
        value = it.value();
        return true;
    }

    bool asString(const QJsonValue& value, const QString& strPath, QString& strOut)
    {
        if (!value.isString()) {
            return fail(strPath, QStringLiteral("expected a string, found %1").arg(typeName(value)));
        }
        strOut = value.toString();
        return true;
    }

    bool asInt(const QJsonValue& value, const QString& strPath, int& nOut)
    {
        if (!value.isDouble()) {
            return fail(strPath, QStringLiteral("expected an integer, found %1").arg(typeName(value)));
        }
        const double dValue = value.toDouble();
        if (std::floor(dValue) != dValue || dValue < INT_MIN || dValue > INT_MAX) {
            return fail(strPath, QStringLiteral("expected an integer, found %1").arg(dValue, 0, 'g', 17));
        }
        nOut = static_cast<int>(dValue);
        return true;
    }

    bool asBool(const QJsonValue& value, const QString& strPath, bool& bOut)
    {
        if (!value.isBool()) {
            return fail(strPath, QStringLiteral("expected true or false, found %1").arg(typeName(value)));
        }
        bOut = value.toBool();
        return true;
    }

    bool asArray(const QJsonValue& value, const QString& strPath, QJsonArray& out)
    {
        if (!value.isArray()) {
            return fail(strPath, QStringLiteral("expected an array, found %1").arg(typeName(value)));
        }
        out = value.toArray();
        return true;
    }

    bool asObject(const QJsonValue& value, const QString& strPath, QJsonObject& out)
    {
        if (!value.isObject()) {
            return fail(strPath, QStringLiteral("expected an object, found %1").arg(typeName(value)));
        }
        out = value.toObject();
        return true;
    }

    bool getString(const QJsonObject& obj, const QString& strPath, const QString& strKey, QString& strOut)
    {
        QJsonValue value;
        return member(obj, strPath, strKey, value) && asString(value, memberPath(strPath, strKey), strOut);
    }

    bool getNonEmptyString(const QJsonObject& obj, const QString& strPath, const QString& strKey,
                           QString& strOut)
    {
        if (!getString(obj, strPath, strKey, strOut)) {
            return false;
        }
        if (strOut.trimmed().isEmpty()) {
            return fail(memberPath(strPath, strKey), QStringLiteral("must not be empty"));
        }
        return true;
    }

    bool getInt(const QJsonObject& obj, const QString& strPath, const QString& strKey, int& nOut)
    {
        QJsonValue value;
        return member(obj, strPath, strKey, value) && asInt(value, memberPath(strPath, strKey), nOut);
    }

    bool getBool(const QJsonObject& obj, const QString& strPath, const QString& strKey, bool& bOut)
    {
        QJsonValue value;
        return member(obj, strPath, strKey, value) && asBool(value, memberPath(strPath, strKey), bOut);
    }

    bool getArray(const QJsonObject& obj, const QString& strPath, const QString& strKey, QJsonArray& out)
    {
        QJsonValue value;
        return member(obj, strPath, strKey, value) && asArray(value, memberPath(strPath, strKey), out);
    }

    bool getObject(const QJsonObject& obj, const QString& strPath, const QString& strKey, QJsonObject& out)
    {
        QJsonValue value;
        return member(obj, strPath, strKey, value) && asObject(value, memberPath(strPath, strKey), out);
    }

private:
    QString m_strFile;
    QString m_strError;
};

// The instruction parser takes the broker and account type of a full key from its first and fourth
// fields, while orders are matched against the account's own numbers: both must tell the same story.
bool checkAccountKey(CProfileReader& reader, const QString& strPath, const QString& strKey, int nBroker,
                     int nType)
{
    const QStringList parts = strKey.split(kKeySeparator);
    if (parts.size() != kKeyParts) {
        return reader.fail(strPath, QStringLiteral("account key \"%1\" must have %2 parts separated by "
                                                   "\"%3\", found %4")
                                        .arg(strKey)
                                        .arg(kKeyParts)
                                        .arg(kKeySeparator)
                                        .arg(parts.size()));
    }
    for (int i = 0; i < parts.size(); ++i) {
        if (parts[i].isEmpty()) {
            return reader.fail(strPath,
                               QStringLiteral("account key \"%1\" has an empty part %2").arg(strKey).arg(i));
        }
    }
    if (parts[0] != QString::number(nBroker)) {
        return reader.fail(strPath,
                           QStringLiteral("account key \"%1\" starts with broker \"%2\" but broker is %3")
                               .arg(strKey, parts[0])
                               .arg(nBroker));
    }
    if (parts[3] != QString::number(nType)) {
        return reader.fail(
            strPath, QStringLiteral("account key \"%1\" carries account type \"%2\" in part 3 but type is %3")
                         .arg(strKey, parts[3])
                         .arg(nType));
    }
    return true;
}

bool readAccounts(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("accounts");
    QJsonArray accounts;
    if (!reader.getArray(root, QString(), strSection, accounts)) {
        return false;
    }
    QHash<QString, QString> keyOwners; // every main and centre key -> path that declared it
    for (int i = 0; i < accounts.size(); ++i) {
        const QString strPath = indexPath(strSection, i);
        QJsonObject obj;
        if (!reader.asObject(accounts.at(i), strPath, obj)) {
            return false;
        }
        CAccountData account;
        if (!reader.getNonEmptyString(obj, strPath, QStringLiteral("id"), account.m_strId) ||
            !reader.getInt(obj, strPath, QStringLiteral("type"), account.m_nType) ||
            !reader.getInt(obj, strPath, QStringLiteral("broker"), account.m_nBroker) ||
            !reader.getNonEmptyString(obj, strPath, QStringLiteral("key"), account.m_strKey) ||
            !reader.getString(obj, strPath, QStringLiteral("name"), account.m_strName) ||
            !reader.getBool(obj, strPath, QStringLiteral("dualCenter"), account.m_bDualCenter)) {
            return false;
        }
        const QString strKeyPath = memberPath(strPath, QStringLiteral("key"));
        if (!checkAccountKey(reader, strKeyPath, account.m_strKey, account.m_nBroker, account.m_nType)) {
            return false;
        }
        if (keyOwners.contains(account.m_strKey)) {
            return reader.fail(strKeyPath, QStringLiteral("duplicate account key \"%1\" (already used by %2)")
                                               .arg(account.m_strKey, keyOwners.value(account.m_strKey)));
        }
        keyOwners.insert(account.m_strKey, strKeyPath);

        const QString strCentersKey = QStringLiteral("centerKeys");
        if (obj.contains(strCentersKey)) {
            const QString strCentersPath = memberPath(strPath, strCentersKey);
            if (!account.m_bDualCenter) {
                return reader.fail(strCentersPath, QStringLiteral("only a dual-centre account "
                                                                  "(\"dualCenter\": true) has centre keys"));
            }
            QJsonObject centers;
            if (!reader.asObject(obj.value(strCentersKey), strCentersPath, centers)) {
                return false;
            }
            for (auto it = centers.constBegin(); it != centers.constEnd(); ++it) {
                const QString strCenterPath = entryPath(strCentersPath, it.key());
                if (!kMarkets.contains(it.key())) {
                    return reader.fail(strCenterPath, QStringLiteral("market must be SH, SZ or BJ"));
                }
                QString strCenterKey;
                if (!reader.asString(it.value(), strCenterPath, strCenterKey) ||
                    !checkAccountKey(reader, strCenterPath, strCenterKey, account.m_nBroker,
                                     account.m_nType)) {
                    return false;
                }
                if (keyOwners.contains(strCenterKey)) {
                    return reader.fail(strCenterPath,
                                       QStringLiteral("duplicate account key \"%1\" (already used "
                                                      "by %2)")
                                           .arg(strCenterKey, keyOwners.value(strCenterKey)));
                }
                keyOwners.insert(strCenterKey, strCenterPath);
                account.m_centerKeys.insert(it.key(), strCenterKey);
            }
        }
        profile.m_accounts.append(account);
    }
    return true;
}

bool readInstruments(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("instruments");
    QJsonArray instruments;
    if (!reader.getArray(root, QString(), strSection, instruments)) {
        return false;
    }
    QHash<QString, int> seen; // "SH.600000" -> index
    profile.m_instruments.reserve(instruments.size());
    for (int i = 0; i < instruments.size(); ++i) {
        const QString strPath = indexPath(strSection, i);
        QJsonObject obj;
        if (!reader.asObject(instruments.at(i), strPath, obj)) {
            return false;
        }
        CInstrument instrument;
        QJsonArray types;
        if (!reader.getString(obj, strPath, QStringLiteral("market"), instrument.m_strMarket) ||
            !reader.getNonEmptyString(obj, strPath, QStringLiteral("code"), instrument.m_strCode) ||
            !reader.getString(obj, strPath, QStringLiteral("name"), instrument.m_strName) ||
            !reader.getArray(obj, strPath, QStringLiteral("types"), types)) {
            return false;
        }
        if (!kMarkets.contains(instrument.m_strMarket)) {
            return reader.fail(
                memberPath(strPath, QStringLiteral("market")),
                QStringLiteral("market must be SH, SZ or BJ, found \"%1\"").arg(instrument.m_strMarket));
        }
        const QString strTypesPath = memberPath(strPath, QStringLiteral("types"));
        for (int t = 0; t < types.size(); ++t) {
            int nType = 0;
            if (!reader.asInt(types.at(t), indexPath(strTypesPath, t), nType)) {
                return false;
            }
            instrument.m_types.insert(nType);
        }
        const QString strId = instrument.m_strMarket + QLatin1Char('.') + instrument.m_strCode;
        if (seen.contains(strId)) {
            return reader.fail(strPath, QStringLiteral("duplicate instrument %1 %2 (already in %3)")
                                            .arg(instrument.m_strMarket, instrument.m_strCode,
                                                 indexPath(strSection, seen.value(strId))));
        }
        seen.insert(strId, i);
        profile.addInstrument(instrument);
    }
    return true;
}

bool readDbfPriceTypes(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("dbfPriceTypes");
    QJsonObject priceTypes;
    if (!reader.getObject(root, QString(), strSection, priceTypes)) {
        return false;
    }
    for (auto it = priceTypes.constBegin(); it != priceTypes.constEnd(); ++it) {
        const QString strPath = entryPath(strSection, it.key());
        if (it.key().trimmed().isEmpty()) {
            return reader.fail(strPath, QStringLiteral("price type code must not be empty"));
        }
        int nPriceType = 0;
        if (!reader.asInt(it.value(), strPath, nPriceType)) {
            return false;
        }
        profile.m_dbfPriceTypes.insert(it.key(), nPriceType);
    }
    return true;
}

bool readAlgoSettings(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("algoSettings");
    QJsonArray settings;
    if (!reader.getArray(root, QString(), strSection, settings)) {
        return false;
    }
    QHash<QString, int> seen;
    for (int i = 0; i < settings.size(); ++i) {
        const QString strPath = indexPath(strSection, i);
        QJsonObject obj;
        if (!reader.asObject(settings.at(i), strPath, obj)) {
            return false;
        }
        CDbfAlgoParam param;
        if (!reader.getNonEmptyString(obj, strPath, QStringLiteral("priceType"), param.m_strPriceTypeCode) ||
            !reader.getNonEmptyString(obj, strPath, QStringLiteral("name"), param.m_strName) ||
            !reader.getInt(obj, strPath, QStringLiteral("orderType"), param.m_nOrderType) ||
            !reader.getInt(obj, strPath, QStringLiteral("priceTypeValue"), param.m_nPriceType)) {
            return false;
        }
        const QString strCodePath = memberPath(strPath, QStringLiteral("priceType"));
        // A code the DBF table does not know never reaches the algorithm lookup, so the setting would be
        // dead.
        if (!profile.m_dbfPriceTypes.contains(param.m_strPriceTypeCode)) {
            return reader.fail(strCodePath, QStringLiteral("price type code \"%1\" is not in dbfPriceTypes")
                                                .arg(param.m_strPriceTypeCode));
        }
        if (seen.contains(param.m_strPriceTypeCode)) {
            return reader.fail(strCodePath,
                               QStringLiteral("duplicate price type code \"%1\" (already in %2)")
                                   .arg(param.m_strPriceTypeCode,
                                        indexPath(strSection, seen.value(param.m_strPriceTypeCode))));
        }
        seen.insert(param.m_strPriceTypeCode, i);
        profile.m_algoSettings.append(param);
    }
    return true;
}

bool readAlgoRights(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("algoRights");
    QJsonObject rights;
    if (!reader.getObject(root, QString(), strSection, rights)) {
        return false;
    }
    QSet<QString> knownKeys;
    for (const CAccountData& account : qAsConst(profile.m_accounts)) {
        knownKeys.insert(account.m_strKey);
        for (const QString& strCenterKey : account.m_centerKeys) {
            knownKeys.insert(strCenterKey);
        }
    }
    for (auto it = rights.constBegin(); it != rights.constEnd(); ++it) {
        const QString strPath = entryPath(strSection, it.key());
        // Rights for a key no account has would silently never apply; most likely a typo.
        if (!knownKeys.contains(it.key())) {
            return reader.fail(strPath, QStringLiteral("no account has the key \"%1\"").arg(it.key()));
        }
        QJsonArray names;
        if (!reader.asArray(it.value(), strPath, names)) {
            return false;
        }
        QSet<QString> nameSet;
        for (int i = 0; i < names.size(); ++i) {
            QString strName;
            if (!reader.asString(names.at(i), indexPath(strPath, i), strName)) {
                return false;
            }
            nameSet.insert(strName);
        }
        profile.m_algoRights.insert(it.key(), nameSet);
    }
    return true;
}

bool readStrategySubstitution(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("strategySubstitution");
    QJsonObject obj;
    return reader.getObject(root, QString(), strSection, obj) &&
           reader.getString(obj, strSection, QStringLiteral("from"), profile.m_strStrategyReplaceFrom) &&
           reader.getString(obj, strSection, QStringLiteral("to"), profile.m_strStrategyReplaceTo);
}

// An array of non-empty names.
bool readNames(CProfileReader& reader, const QJsonObject& root, const QString& strSection, QStringList& names)
{
    QJsonArray array;
    if (!reader.getArray(root, QString(), strSection, array)) {
        return false;
    }
    for (int i = 0; i < array.size(); ++i) {
        QString strName;
        if (!reader.asString(array.at(i), indexPath(strSection, i), strName)) {
            return false;
        }
        if (strName.trimmed().isEmpty()) {
            return reader.fail(indexPath(strSection, i), QStringLiteral("must not be empty"));
        }
        names.append(strName);
    }
    return true;
}

bool readMonitorProcesses(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    return readNames(reader, root, QStringLiteral("monitorProcesses"), profile.m_monitorProcesses);
}

// Optional: a profile without the key enables no feature module.
bool readModules(CProfileReader& reader, const QJsonObject& root, CHostProfile& profile)
{
    const QString strSection = QStringLiteral("modules");
    QStringList names;
    if (root.contains(strSection) && !readNames(reader, root, strSection, names)) {
        return false;
    }
    profile.m_modules = QSet<QString>(names.cbegin(), names.cend());
    return true;
}

} // namespace

void CHostProfile::addInstrument(const CInstrument& instrument)
{
    m_instrumentIndex.insert(instrument.m_strMarket + instrument.m_strCode, m_instruments.size());
    m_instruments.append(instrument);
}

const CInstrument* CHostProfile::findInstrument(const QString& strKey) const
{
    if (m_instrumentIndex.size() == m_instruments.size()) {
        const int nIndex = m_instrumentIndex.value(strKey, -1);
        return nIndex < 0 ? nullptr : &m_instruments.at(nIndex);
    }
    // Instruments added by hand after loading are not in the index.
    for (const CInstrument& instrument : m_instruments) {
        if (strKey.size() == instrument.m_strMarket.size() + instrument.m_strCode.size() &&
            strKey.startsWith(instrument.m_strMarket) &&
            strKey.midRef(instrument.m_strMarket.size()) == instrument.m_strCode) {
            return &instrument;
        }
    }
    return nullptr;
}

bool CHostProfile::load(const QString& strPath, QString& strError)
{
    // Whatever happens below, a failed load must not leave the previous or a partial profile behind.
    *this = CHostProfile();
    strError.clear();

    CProfileReader reader(strPath);
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        reader.fail(QString(), QStringLiteral("cannot open: %1").arg(file.errorString()));
        strError = reader.error();
        return false;
    }
    QByteArray data = file.readAll();
    file.close();
    // Editors on Windows like to start UTF-8 files with a byte order mark, which the JSON parser rejects.
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
    }

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reader.fail(QString(), QStringLiteral("not valid JSON at offset %1: %2")
                                   .arg(parseError.offset)
                                   .arg(parseError.errorString()));
        strError = reader.error();
        return false;
    }
    if (!doc.isObject()) {
        reader.fail(QString(), QStringLiteral("the top level must be a JSON object"));
        strError = reader.error();
        return false;
    }

    const QJsonObject root = doc.object();
    CHostProfile loaded;
    // Accounts first: the algorithm rights refer to their keys, the algorithm settings to the price types.
    const bool bOk = readAccounts(reader, root, loaded) && readInstruments(reader, root, loaded) &&
                     readDbfPriceTypes(reader, root, loaded) && readAlgoSettings(reader, root, loaded) &&
                     readAlgoRights(reader, root, loaded) && readStrategySubstitution(reader, root, loaded) &&
                     readMonitorProcesses(reader, root, loaded) && readModules(reader, root, loaded);
    if (!bOk) {
        strError = reader.error();
        return false;
    }
    loaded.m_strPath = strPath;
    *this = std::move(loaded);
    return true;
}

} // namespace TC
