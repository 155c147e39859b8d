#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TC {

// Keeps a run of identical error lines from flooding the log: the first line of a run is logged, its
// repeats are only counted and summarised at most once per interval, and the end of the run is logged
// with its count. No clock and no I/O: the caller passes the time and logs the lines that come back.
// Used by one thread at a time.
class CBatchOrderErrorThrottle
{
public:
    explicit CBatchOrderErrorThrottle(double dIntervalMSec = 5000.0) : m_dIntervalMSec(dIntervalMSec) {}

    // The error happened now: the lines to log, none while a repeat is only counted. A different text
    // ends the run before it (with its closing line) and starts its own.
    std::vector<std::string> error(const std::string& strText, double dNowMSec);
    // The error condition is over: the closing line of the run, or nothing when none was open.
    std::vector<std::string> recovered(double dNowMSec);
    bool inRun() const { return m_nTotal > 0; }

private:
    double m_dIntervalMSec;
    std::string m_strText;
    int64_t m_nTotal = 0;   // occurrences in the run, the first included
    int64_t m_nRepeats = 0; // occurrences since the last line logged
    double m_dStartMSec = 0;
    double m_dLoggedMSec = 0;
};

} // namespace TC
