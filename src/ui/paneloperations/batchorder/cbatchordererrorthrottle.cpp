#include "cbatchordererrorthrottle.h"

#include <fmt/format.h>

namespace TC {

std::vector<std::string> CBatchOrderErrorThrottle::error(const std::string& strText, double dNowMSec)
{
    std::vector<std::string> lines;
    if (inRun() && strText == m_strText)
    {
        ++m_nTotal;
        ++m_nRepeats;
        if (dNowMSec - m_dLoggedMSec >= m_dIntervalMSec)
        {
            lines.push_back(fmt::format("{0} (repeated {1} times in {2:.1f} s)", m_strText, m_nRepeats,
                                        (dNowMSec - m_dLoggedMSec) / 1000.0));
            m_nRepeats = 0;
            m_dLoggedMSec = dNowMSec;
        }
        return lines;
    }
    lines = recovered(dNowMSec);
    lines.push_back(strText);
    m_strText = strText;
    m_nTotal = 1;
    m_nRepeats = 0;
    m_dStartMSec = dNowMSec;
    m_dLoggedMSec = dNowMSec;
    return lines;
}

std::vector<std::string> CBatchOrderErrorThrottle::recovered(double dNowMSec)
{
    if (!inRun())
        return {};
    std::vector<std::string> lines{fmt::format("recovered: {0} (seen {1} times in {2:.1f} s)", m_strText,
                                               m_nTotal, (dNowMSec - m_dStartMSec) / 1000.0)};
    m_strText.clear();
    m_nTotal = 0;
    m_nRepeats = 0;
    return lines;
}

} // namespace TC
