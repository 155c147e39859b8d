#include "cinstructionfilewriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TC {

namespace {

// The reader takes a file within about a millisecond of its arrival; looking as often costs nothing.
constexpr std::chrono::milliseconds kBusyPoll{1};

QString systemText(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

QString pathText(const std::string& strPath)
{
    return QString::fromLocal8Bit(strPath.c_str());
}

std::string directoryOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

std::string fileNameOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

bool writeAll(int nFd, const char* pData, size_t nSize)
{
    while (nSize > 0) {
        const ssize_t nWritten = ::write(nFd, pData, nSize);
        if (nWritten < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        pData += nWritten;
        nSize -= static_cast<size_t>(nWritten);
    }
    return true;
}

// Creates an empty owner-only file beside the path under a hidden name ".NAME.KIND-XXXXXX", which the
// reader leaves alone; its descriptor, or -1.
int createHidden(const std::string& strPath, const char* szKind, std::string& strName)
{
    const std::string strTemplate =
        directoryOf(strPath) + "/." + fileNameOf(strPath) + "." + szKind + "-XXXXXX";
    std::vector<char> name(strTemplate.begin(), strTemplate.end());
    name.push_back('\0');
    const int nFd = ::mkostemp(name.data(), O_CLOEXEC);
    strName = name.data();
    return nFd;
}

} // namespace

CInstructionFileWriter::EResult CInstructionFileWriter::deliver(const QByteArray& bytes,
                                                                std::chrono::milliseconds busyTimeout,
                                                                QString& strMessage,
                                                                const std::atomic<bool>* pStop,
                                                                const std::function<void()>& beforeMove)
{
    const std::string strDir = directoryOf(m_strPath);
    struct stat st = {};
    if (::stat(strDir.c_str(), &st) != 0) {
        const int nError = errno;
        if (nError == ENOENT || nError == ENOTDIR) {
            strMessage = QStringLiteral("directory %1 does not exist (is the host watching %2?)")
                             .arg(pathText(strDir), pathText(m_strPath));
            return NO_DIRECTORY;
        }
        strMessage =
            QStringLiteral("directory %1 cannot be used: %2").arg(pathText(strDir), systemText(nError));
        return FAILED;
    }
    if (!S_ISDIR(st.st_mode)) {
        strMessage = QStringLiteral("%1 is not a directory").arg(pathText(strDir));
        return NO_DIRECTORY;
    }
    if (!writeTemporary(strDir, bytes, strMessage))
        return FAILED;

    const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
    EResult eResult = BUSY;
    for (;;) {
        if (pStop && pStop->load()) {
            strMessage = QStringLiteral("interrupted while %1 was busy; nothing was delivered")
                             .arg(pathText(m_strPath));
            eResult = FAILED;
            break;
        }
        if (beforeMove)
            beforeMove();
        const int nMoved = moveIntoPlace(strMessage);
        if (nMoved != 0) {
            eResult = nMoved > 0 ? DELIVERED : FAILED;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            strMessage =
                QStringLiteral("%1 is still taken after %2 s: the host has not taken the previous file")
                    .arg(pathText(m_strPath))
                    .arg(busyTimeout.count() / 1000.0);
            break;
        }
        std::this_thread::sleep_for(kBusyPoll);
    }
    if (eResult != DELIVERED) {
        ::unlink(m_strTmpPath.c_str());
        return eResult;
    }

    // The rename is durable only once the directory is. The file is in place either way and the host may
    // already have taken it, so a failure here is a warning: sending again would place the orders twice.
    const int nDirFd = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nDirFd < 0 || ::fsync(nDirFd) != 0)
        strMessage = QStringLiteral("warning: delivered, but directory %1 could not be flushed: %2")
                         .arg(pathText(strDir), systemText(errno));
    if (nDirFd >= 0)
        ::close(nDirFd);
    return DELIVERED;
}

bool CInstructionFileWriter::writeTemporary(const std::string& strDir, const QByteArray& bytes,
                                            QString& strMessage)
{
    // Never the instruction file's own name, and owner-only like every file the host side creates.
    const int nFd = createHidden(m_strPath, "send", m_strTmpPath);
    if (nFd < 0) {
        strMessage =
            QStringLiteral("cannot create a file in %1: %2").arg(pathText(strDir), systemText(errno));
        return false;
    }
    struct stat st = {};
    bool bWritten = ::fstat(nFd, &st) == 0 &&
                    writeAll(nFd, bytes.constData(), static_cast<size_t>(bytes.size())) && ::fsync(nFd) == 0;
    m_nDevice = st.st_dev;
    m_nInode = st.st_ino;
    int nError = bWritten ? 0 : errno;
    if (::close(nFd) != 0 && bWritten) {
        bWritten = false;
        nError = errno;
    }
    if (!bWritten) {
        strMessage = QStringLiteral("cannot write %1: %2").arg(pathText(m_strTmpPath), systemText(nError));
        ::unlink(m_strTmpPath.c_str());
        return false;
    }
    return true;
}

int CInstructionFileWriter::moveIntoPlace(QString& strMessage)
{
    if (::renameat2(AT_FDCWD, m_strTmpPath.c_str(), AT_FDCWD, m_strPath.c_str(), RENAME_NOREPLACE) == 0)
        return 1;
    int nError = errno;
    if (nError == EINVAL || nError == ENOSYS) {
        // A file system without an exclusive rename: a hard link does not replace either, and the
        // temporary name goes once the file stands at the path.
        if (::link(m_strTmpPath.c_str(), m_strPath.c_str()) == 0) {
            ::unlink(m_strTmpPath.c_str());
            return 1;
        }
        nError = errno;
    }
    if (nError == EEXIST)
        return 0;
    strMessage = QStringLiteral("cannot move the file into place at %1: %2")
                     .arg(pathText(m_strPath), systemText(nError));
    return -1;
}

bool CInstructionFileWriter::stillAtPath() const
{
    struct stat st = {};
    return ::stat(m_strPath.c_str(), &st) == 0 && st.st_dev == m_nDevice && st.st_ino == m_nInode;
}

CInstructionFileWriter::EWithdrawal CInstructionFileWriter::withdraw(QString& strMessage)
{
    if (!stillAtPath())
        return TAKEN;
    // The file goes to a hidden name of its own and is checked there:
    // between the look above and the move the host may have taken it and another file have arrived.
    std::string strAside;
    const int nFd = createHidden(m_strPath, "withdrawn", strAside);
    if (nFd < 0) {
        strMessage = QStringLiteral("cannot withdraw %1: %2").arg(pathText(m_strPath), systemText(errno));
        return WITHDRAW_FAILED;
    }
    ::close(nFd);
    if (::rename(m_strPath.c_str(), strAside.c_str()) != 0) {
        const int nError = errno;
        ::unlink(strAside.c_str());
        if (nError == ENOENT)
            return TAKEN;
        strMessage = QStringLiteral("cannot withdraw %1: %2").arg(pathText(m_strPath), systemText(nError));
        return WITHDRAW_FAILED;
    }
    struct stat st = {};
    if (::stat(strAside.c_str(), &st) == 0 && st.st_dev == m_nDevice && st.st_ino == m_nInode) {
        ::unlink(strAside.c_str());
        return WITHDRAWN;
    }
    // Another sender's file: it goes back, ours was taken.
    if (::renameat2(AT_FDCWD, strAside.c_str(), AT_FDCWD, m_strPath.c_str(), RENAME_NOREPLACE) != 0) {
        strMessage =
            QStringLiteral("another file taken from %1 by mistake could not be put back; it is at %2: %3")
                .arg(pathText(m_strPath), pathText(strAside), systemText(errno));
        return WITHDRAW_FAILED;
    }
    return TAKEN;
}

} // namespace TC
