#include "trading/corderstrategy.h"

namespace TC {

COrderStrategy::COrderStrategy(const COrderStrategyParam& param)
    : m_param(param)
{
}

} // namespace TC
