#pragma once

#include <log4cxx/level.h>

#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class CCaptureAppender;

// Captures what is logged through the host logger while it lives.
class CLogCapture
{
public:
    struct CLine
    {
        int m_nLevel; // log4cxx level value (DEBUG 10000, INFO 20000, ERROR 40000)
        std::string m_strText;
    };

    CLogCapture();
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<CLine> lines() const;
    std::vector<std::string> texts() const;
    // Number of captured lines whose text contains the fragment.
    int count(const std::string& strFragment) const;
    bool contains(const std::string& strFragment) const { return count(strFragment) > 0; }
    // Waits until this many captured lines contain the fragment; false on time-out.
    bool waitForCount(const std::string& strFragment, int nCount,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    std::shared_ptr<CCaptureAppender> m_pAppender;
};
