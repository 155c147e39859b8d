#pragma once

#include "config/caccountdata.h"

#include <QString>

namespace TC {

// Trading centre of a dual-centre account.
enum EAccCenterType
{
    ACC_CENTER_NONE = 0,
    ACC_CENTER_SH = 1,
    ACC_CENTER_SZ = 2,
    ACC_CENTER_BJ = 3,
};

// Finds the account key for an order's account columns in the user configuration's accounts.
// strAccountId may be an account id or a full key. Account type "49" (what the instruction parser
// writes) or "" matches any type; any other text must equal the account's type number. A non-empty
// broker type must equal the account's broker number. Returns "" when nothing matches; the first match
// in profile order wins.
QString getAccountFromOrderParam(const QString& strAccountType, const QString& strAccountId,
                                 const QString& strBrokerType);

// As above, then for a dual-centre account the key of its sub-account on the given centre (the
// account's own key when it has none there, or for ACC_CENTER_NONE).
QString getAccountFromOrderParam(const QString& strAccountType, const QString& strAccountId,
                                 const QString& strBrokerType, EAccCenterType eCenter);

// The account as tables show it: its id, which is what the user knows it by.
QString accountDisplayIDQs(const CAccount& account);

} // namespace TC
