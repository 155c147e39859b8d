#include "csendtool.h"

#include "cinstructionfilewriter.h"
#include "cinstructiontext.h"
#include "clineoutcomes.h"
#include "creceiptfollower.h"

#include <QDate>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace TC {

namespace {

std::atomic<bool> g_bStop{false};

// How often the path and the receipt file are looked at while waiting: the host writes receipts within
// milliseconds, and a look is one stat() of each.
constexpr std::chrono::milliseconds kReceiptPoll{20};

void onSignal(int)
{
    g_bStop.store(true);
}

// Ctrl-C or a TERM while the path is busy ends the wait and removes the temporary file; while
// receipts are awaited it ends that wait.
void installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int CSendTool::run(const std::vector<std::string>& arguments)
{
    switch (m_options.parse(arguments)) {
    case CSendOptions::HELP:
        std::fputs(m_options.m_strMessage.c_str(), stdout);
        return EXIT_DELIVERED;
    case CSendOptions::ERROR:
        report(QString::fromLocal8Bit(m_options.m_strMessage.c_str()).trimmed());
        return EXIT_USAGE;
    case CSendOptions::RUN:
        break;
    }
    CInstructionText text;
    if (!collect(text))
        return EXIT_USAGE;
    QByteArray bytes;
    QString strError;
    if (!text.encode(m_options.m_eEncoding, bytes, strError)) {
        report(strError);
        return EXIT_USAGE;
    }
    const QString strPath = QFile::decodeName(m_options.m_strPath.c_str());
    CInstructionFileWriter writer(m_options.m_strPath);
    CReceiptFollower follower(strPath, bytes);
    const int nExit = deliver(bytes, writer, follower);
    if (!m_options.m_bWait)
        return nExit;
    if (nExit != EXIT_DELIVERED)
        return EXIT_NOT_DELIVERED;
    return follow(writer, follower, text.lines().size());
}

bool CSendTool::collect(CInstructionText& text)
{
    QString strError;
    if (!m_options.m_bStdin && m_options.m_strFile.empty()) {
        for (size_t i = 0; i < m_options.m_lines.size(); ++i) {
            const std::string& strLine = m_options.m_lines[i];
            if (!text.addUtf8(QByteArray(strLine.data(), static_cast<int>(strLine.size())),
                              QStringLiteral("argument %1").arg(i + 1), strError)) {
                report(strError);
                return false;
            }
        }
    } else {
        QFile file;
        const QString strSource = m_options.m_bStdin ? QStringLiteral("standard input")
                                                     : QString::fromLocal8Bit(m_options.m_strFile.c_str());
        bool bOpen = false;
        if (m_options.m_bStdin) {
            bOpen = file.open(stdin, QIODevice::ReadOnly);
        } else {
            file.setFileName(QFile::decodeName(m_options.m_strFile.c_str()));
            bOpen = file.open(QIODevice::ReadOnly);
        }
        if (!bOpen) {
            report(QStringLiteral("cannot read %1: %2").arg(strSource, file.errorString()));
            return false;
        }
        if (!text.addUtf8(file.readAll(), strSource, strError)) {
            report(strError);
            return false;
        }
    }
    if (text.lines().isEmpty()) {
        report(QStringLiteral("no instruction lines to send"));
        return false;
    }
    return true;
}

int CSendTool::deliver(const QByteArray& bytes, CInstructionFileWriter& writer, CReceiptFollower& follower)
{
    installSignalHandlers();
    QString strMessage;
    // Rows of the same bytes sent before are not ours: only rows written after the file is in place are.
    auto noteReceiptsEnd = [&] {
        if (m_options.m_bWait)
            follower.start(QDate::currentDate());
    };
    const CInstructionFileWriter::EResult eResult =
        writer.deliver(bytes, m_options.m_busyTimeout, strMessage, &g_bStop, noteReceiptsEnd);
    if (!strMessage.isEmpty())
        report(strMessage);
    switch (eResult) {
    case CInstructionFileWriter::DELIVERED:
        return EXIT_DELIVERED;
    case CInstructionFileWriter::BUSY:
        return EXIT_BUSY;
    case CInstructionFileWriter::NO_DIRECTORY:
    case CInstructionFileWriter::FAILED:
        break;
    }
    return EXIT_FAILED;
}

int CSendTool::follow(CInstructionFileWriter& writer, CReceiptFollower& follower, int nLines)
{
    CLineOutcomes outcomes(nLines,
                           m_options.m_bUntilPlaced ? CLineOutcomes::PLACED : CLineOutcomes::ACCEPTED);
    const auto deadline = std::chrono::steady_clock::now() + m_options.m_wait;
    bool bTaken = false;
    for (;;) {
        // Looked at before the receipts, so that a file taken has had its chance to get its rows read.
        bTaken = bTaken || !writer.stillAtPath();
        for (const CReceipt& receipt : follower.poll(QDate::currentDate())) {
            const QString strLine = outcomes.add(receipt);
            if (!strLine.isEmpty())
                print(strLine);
        }
        if (outcomes.complete())
            return outcomes.anyFailed() ? EXIT_REJECTED : EXIT_ACCEPTED;
        if (g_bStop.load() || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(kReceiptPoll);
    }
    reportNoOutcome(writer, follower, outcomes, bTaken, g_bStop.load());
    return EXIT_NO_OUTCOME;
}

void CSendTool::reportNoOutcome(CInstructionFileWriter& writer, const CReceiptFollower& follower,
                                const CLineOutcomes& outcomes, bool bTaken, bool bInterrupted)
{
    const QString strPath = QFile::decodeName(m_options.m_strPath.c_str());
    const QString strWhen = bInterrupted
                                ? QStringLiteral("before the wait was interrupted")
                                : QStringLiteral("within %1 s").arg(m_options.m_wait.count() / 1000.0);
    if (!bTaken && !outcomes.anyReceipt()) {
        QString strMessage;
        switch (writer.withdraw(strMessage)) {
        case CInstructionFileWriter::WITHDRAWN:
            report(QStringLiteral("nobody took %1 %2 - is a host watching this path? the lines were "
                                  "withdrawn, nothing will be placed")
                       .arg(strPath, strWhen));
            return;
        case CInstructionFileWriter::TAKEN:
            report(QStringLiteral("%1 was taken at the last moment, %2: the outcome of its lines is unknown "
                                  "(receipts: %3)")
                       .arg(strPath, strWhen, follower.currentPath()));
            return;
        case CInstructionFileWriter::WITHDRAW_FAILED:
            report(strMessage + QStringLiteral(": the lines may still be placed"));
            return;
        }
    }
    if (!outcomes.anyReceipt()) {
        if (!follower.readError().isEmpty())
            report(follower.readError());
        report(QStringLiteral("%1 was taken, but no receipt for it came %2 to %3%4; the outcome of the lines "
                              "is unknown")
                   .arg(strPath, strWhen, follower.currentPath(),
                        bInterrupted ? QString()
                                     : QStringLiteral(" - does the host write receipts, and does it watch "
                                                      "this path?")));
        return;
    }
    QStringList lines;
    for (const int nLine : outcomes.openLines())
        lines << QString::number(nLine);
    report(QStringLiteral("no outcome for line(s) %1 %2 (receipts: %3)")
               .arg(lines.join(QStringLiteral(", ")), strWhen, follower.currentPath()));
}

void CSendTool::print(const QString& strLine)
{
    // A reader that went away must not end the wait unseen: the exit status still tells the outcome.
    if (std::fputs((strLine + QLatin1Char('\n')).toUtf8().constData(), stdout) < 0 ||
        std::fflush(stdout) != 0) {
        if (!m_bOutputLost)
            report(QStringLiteral("cannot write the outcomes to standard output: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_bOutputLost = true;
    }
}

void CSendTool::report(const QString& strMessage) const
{
    std::fprintf(stderr, "batchorder-send: %s\n", strMessage.toLocal8Bit().constData());
}

} // namespace TC
