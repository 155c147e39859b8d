#pragma once

#include "trading/corderstrategyparam.h"

#include <atomic>

namespace TC {

// A strategy registered with the order service. Orders are placed through it.
class COrderStrategy
{
public:
    explicit COrderStrategy(const COrderStrategyParam& param);

    const COrderStrategyParam& param() const { return m_param; }
    int number() const { return m_param.m_nStrategyNo; }

    // False once the strategy was stopped; a stopped strategy places nothing.
    bool isRunning() const { return m_bRunning.load(); }
    void setRunning(bool bRunning) { m_bRunning.store(bRunning); }

private:
    COrderStrategyParam m_param;
    std::atomic<bool> m_bRunning{true};
};

} // namespace TC
