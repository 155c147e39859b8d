#include "trading/tradercenter.h"

namespace ttservice {

TraderCenter* TraderCenter::instance()
{
    static TraderCenter s_center;
    return &s_center;
}

IDataCenter* TraderCenter::getDataCenter() const
{
    return m_pDataCenter.load();
}

void TraderCenter::setDataCenter(IDataCenter* pDataCenter)
{
    m_pDataCenter.store(pDataCenter);
}

} // namespace ttservice
