#pragma once

#include <QString>

namespace TC {

// What the order service tells a caller about a running strategy; callers pass it back unchanged.
struct COrderStrategyParam
{
    int m_nStrategyNo = 0;
    QString m_strName;
};

} // namespace TC
