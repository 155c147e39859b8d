#pragma once

#include "config/caccountdata.h"
#include "config/cdbfalgoparam.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

namespace TC {

// One instrument of the instrument directory.
struct CInstrument
{
    QString m_strMarket; // "SH", "SZ" or "BJ"
    QString m_strCode;   // exchange code, e.g. "600000"
    QString m_strName;
    QSet<int> m_types;   // instrument type numbers it belongs to (see the README's profile section)
};

// The host profile: everything the reference host knows about the trading world, loaded from one JSON
// file at start-up and read-only afterwards, so any thread may read it.
class CHostProfile
{
public:
    // Reads and checks the whole file. On failure returns false and a reason that names the file and
    // the offending key; the profile is then left empty, never half-filled.
    bool load(const QString& strPath, QString& strError);

    const QString& path() const { return m_strPath; }

    // Appends an instrument to m_instruments and to the index findInstrument uses.
    void addInstrument(const CInstrument& instrument);
    // The instrument with the stock key market + code ("SH600000"), compared exactly; null when none.
    const CInstrument* findInstrument(const QString& strKey) const;

    QList<CAccountData> m_accounts;                // in file order
    QVector<CInstrument> m_instruments;            // in file order
    QHash<QString, int> m_dbfPriceTypes;           // DBF price-type code -> price type number
    QList<CDbfAlgoParam> m_algoSettings;           // algorithm settings by price-type code
    QHash<QString, QSet<QString>> m_algoRights;    // account key -> algorithm names it may trade
    QString m_strStrategyReplaceFrom;              // strategy name to substitute ("" = none)
    QString m_strStrategyReplaceTo;                // its replacement ("" = none)
    QStringList m_monitorProcesses;                // automatic dispatch while one of these runs
    QSet<QString> m_modules;                       // enabled feature modules (optional key; none if absent)

private:
    QString m_strPath;
    QHash<QString, int> m_instrumentIndex; // stock key -> index in m_instruments
};

} // namespace TC
