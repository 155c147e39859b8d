#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace TC {
class CConfig;
class CHostProfile;
class COrderService;
class CProfileDataCenter;
class CUserConfig;
} // namespace TC

// The reference host services that the fuzz targets run the module against: the sample profile, a
// private data directory, the user configuration, and an order service without a journal in which the
// batch order strategy runs, so that cancel and task lines go all the way to the service. Installed
// once as the process-wide services and kept for the life of the process, as a fuzzer never tears down.
// The INSERTTIME check reads a fixed clock, so that every input replays the same way.
class CFuzzHost
{
public:
    static CFuzzHost& instance();

    CFuzzHost(const CFuzzHost&) = delete;
    CFuzzHost& operator=(const CFuzzHost&) = delete;

    const QString& dataDir() const { return m_strDataDir; }
    // A scratch file in the data directory, for targets whose code under test reads a path.
    QString scratchPath(const QString& strName) const;

private:
    CFuzzHost();
    ~CFuzzHost() = delete;

    QString m_strDataDir;
    std::unique_ptr<TC::CHostProfile> m_pProfile;
    std::unique_ptr<TC::CConfig> m_pConfig;
    std::unique_ptr<TC::CUserConfig> m_pUserConfig;
    std::unique_ptr<TC::COrderService> m_pOrderService;
    std::unique_ptr<TC::CProfileDataCenter> m_pDataCenter;
};

// Stops the run with a finding when an invariant of the code under test does not hold.
#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "fuzz check failed: %s (%s)\n", what, #condition);                          \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)
