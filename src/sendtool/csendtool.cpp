#include "csendtool.h"

#include "cinstructionfilewriter.h"
#include "cinstructiontext.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace TC {

namespace {

std::atomic<bool> g_bStop{false};

void onSignal(int)
{
    g_bStop.store(true);
}

// Ctrl-C or a TERM while the path is busy ends the wait and removes the temporary file.
void installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
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
    // A later --wait follows the host's receipts for the delivered file from here.
    return deliver(text);
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

int CSendTool::deliver(const CInstructionText& text)
{
    QByteArray bytes;
    QString strMessage;
    if (!text.encode(m_options.m_eEncoding, bytes, strMessage)) {
        report(strMessage);
        return EXIT_USAGE;
    }
    installSignalHandlers();
    CInstructionFileWriter writer(m_options.m_strPath);
    const CInstructionFileWriter::EResult eResult =
        writer.deliver(bytes, m_options.m_busyTimeout, strMessage, &g_bStop);
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

void CSendTool::report(const QString& strMessage) const
{
    std::fprintf(stderr, "batchorder-send: %s\n", strMessage.toLocal8Bit().constData());
}

} // namespace TC
