#pragma once

#include "base/clogger.h"

#include <log4cxx/fileappender.h>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/patternlayout.h>

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

// Figures shared by the benchmark harnesses.

// Processor time of the whole process (all its threads), user and system, in milliseconds: unlike
// waits it does not grow when other programs share the processors.
inline double cpuMSec()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Logging as the host does it by default: INFO and above, in UTF-8, into a file in strDir (once per
// process).
inline void logAsHost(const QString& strDir)
{
    static bool s_bDone = false;
    if (s_bDone)
        return;
    s_bDone = true;
    auto pAppender = std::make_shared<log4cxx::FileAppender>();
    pAppender->setLayout(
        std::make_shared<log4cxx::PatternLayout>("%d{yyyy-MM-dd HH:mm:ss.SSS} %-5p [%T] %m%n"));
    pAppender->setFile((strDir + QStringLiteral("/bench.log")).toStdString());
    pAppender->setAppend(false);
    pAppender->setEncoding("UTF-8");
    log4cxx::helpers::Pool pool;
    pAppender->activateOptions(pool);
    g_TTStdLogger->addAppender(pAppender);
    g_TTStdLogger->setLevel(log4cxx::Level::getInfo());
}

// Resident memory of this process.
inline long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

// The value below which dFraction of the values lie (1.0: the largest); 0 for none.
inline double percentile(std::vector<double> values, double dFraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(dFraction * values.size()))];
}
