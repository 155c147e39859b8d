#pragma once

#include <QString>

#include <string>

namespace TC {

// Which algorithms each account may trade, from the profile's algoRights (account key -> algorithm
// names). Read-only data; any thread.
class CAlgorithmAuthorityConfig
{
public:
    // True when the account may trade the algorithm. Names compare without regard to case, since the
    // order builder upper-cases SFMC. A centre key of a dual-centre account without an entry of its own
    // takes the rights of its main account. An empty algo stands for the profile's algorithm of
    // nOrderType (see CAlgorithmTradeHelper). On false, strError names the account and the algorithm.
    static bool bCheckTrdAuthority(int nOrderType, const std::string& strAccountKey, const QString& algo,
                                   QString& strError);
};

} // namespace TC
