// Before any Qt header: log4cxx names a member 'emit', which Qt defines as a macro.
#include <log4cxx/helpers/loglog.h>

#include "common/cfuzzhost.h"

#include "cbatchorderdata.h"

#include "base/clogger.h"
#include "config/cconfig.h"
#include "config/chostprofile.h"
#include "config/cuserconfig.h"
#include "trading/corderservice.h"
#include "trading/cprofiledatacenter.h"
#include "trading/tradercenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace TC {

// The seam the INSERTTIME check offers for a fixed clock.
class CBatchOrderDataClockOverride
{
public:
    explicit CBatchOrderDataClockOverride(int64_t (*pfn)()) { CBatchOrderData::m_pfnWallClock = pfn; }
};

} // namespace TC

namespace {

constexpr int64_t kFixedNow = 1700000000;

[[noreturn]] void fail(const QString& strError)
{
    std::fprintf(stderr, "fuzz host: %s\n", qPrintable(strError));
    std::abort();
}

} // namespace

// Leaks inside Qt and log4cxx are the libraries' own, made once per process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Core\nleak:liblog4cxx\n";
}

CFuzzHost& CFuzzHost::instance()
{
    // Never destroyed: the services must outlive every thread the module starts.
    static CFuzzHost* s_pHost = new CFuzzHost();
    return *s_pHost;
}

CFuzzHost::CFuzzHost()
{
    static int s_nArgc = 1;
    static char s_szName[] = "fuzz";
    static char* s_argv[] = {s_szName, nullptr};
    new QCoreApplication(s_nArgc, s_argv);

    // The module logs at DEBUG, so the formatting of every log line runs; with no appender nothing is
    // written.
    log4cxx::helpers::LogLog::setQuietMode(true);
    g_TTStdLogger->setLevel(log4cxx::Level::getDebug());

    // In memory where there is a memory file system: targets write a file per input.
    const QString strTemp =
        QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    m_strDataDir = strTemp + QStringLiteral("/batchorder-fuzz-%1").arg(QCoreApplication::applicationPid());
    m_pProfile = std::make_unique<TC::CHostProfile>();
    QString strError;
    if (!m_pProfile->load(QStringLiteral(BATCHORDER_SOURCE_DIR "/examples/profile.json"), strError))
        fail(strError);
    m_pConfig = std::make_unique<TC::CConfig>(m_strDataDir, m_pProfile->m_strStrategyReplaceFrom,
                                              m_pProfile->m_strStrategyReplaceTo);
    if (!m_pConfig->prepareDirectories(strError))
        fail(strError);
    m_pUserConfig =
        std::make_unique<TC::CUserConfig>(m_strDataDir + QStringLiteral("/user.ini"), *m_pProfile);
    m_pOrderService = std::make_unique<TC::COrderService>(nullptr);
    m_pOrderService->addBatchOrderStrategy(999);
    m_pDataCenter = std::make_unique<TC::CProfileDataCenter>(*m_pUserConfig);

    utils::CManualSingletonT<TC::CConfig>::setInstance(m_pConfig.get());
    utils::CManualSingletonT<TC::CUserConfig>::setInstance(m_pUserConfig.get());
    utils::CManualSingletonT<TC::COrderService>::setInstance(m_pOrderService.get());
    ttservice::TraderCenter::instance()->setDataCenter(m_pDataCenter.get());
    static TC::CBatchOrderDataClockOverride s_clock([] { return kFixedNow; });

    // The data directory goes with the process.
    std::atexit([] { QDir(CFuzzHost::instance().dataDir()).removeRecursively(); });
}

QString CFuzzHost::scratchPath(const QString& strName) const
{
    return m_strDataDir + QLatin1Char('/') + strName;
}
