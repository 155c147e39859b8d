#pragma once

#include <QMap>
#include <QString>

namespace TC {

// One trading account of the profile.
struct CAccountData
{
    QString m_strId;          // account id as the user knows it
    int m_nType = 0;          // account type number
    int m_nBroker = 0;        // broker type number
    QString m_strKey;         // full account key: broker____platform____branch____type____id
    QString m_strName;        // display name
    bool m_bDualCenter = false;
    // For a dual-centre account: the account key used on each trading centre ("SH", "SZ", "BJ").
    QMap<QString, QString> m_centerKeys;
};

// The name the user library's callers know the account record by.
using CAccount = CAccountData;

} // namespace TC
