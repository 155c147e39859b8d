#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include <sys/types.h>

namespace TC {

// Puts one instruction file at the instruction file path the way the reader needs it: written in full
// under a hidden temporary name in the same directory, flushed to disk, then renamed into place without
// replacing anything, once the path is free, and the directory flushed. The reader never sees half a
// file, and a file the host has not taken yet is never overwritten.
class CInstructionFileWriter
{
public:
    enum EResult
    {
        DELIVERED,    // the file stands at the path
        BUSY,         // the path was taken for the whole wait; nothing was written there
        NO_DIRECTORY, // the directory of the path does not exist
        FAILED,       // writing failed, or the wait was interrupted; nothing was written there
    };

    enum EWithdrawal
    {
        WITHDRAWN,       // the file was taken back from the path; the host never saw it
        TAKEN,           // the file was no longer at the path: the host took it
        WITHDRAW_FAILED, // strMessage says why; the file may still be at the path
    };

    explicit CInstructionFileWriter(std::string strPath) : m_strPath(std::move(strPath)) {}

    // strMessage says why when the file was not delivered, and carries a warning when it was but the
    // directory could not be flushed. A set pStop ends the wait early (FAILED). beforeMove runs just
    // before each attempt to move the file into place.
    EResult deliver(const QByteArray& bytes, std::chrono::milliseconds busyTimeout, QString& strMessage,
                    const std::atomic<bool>* pStop = nullptr,
                    const std::function<void()>& beforeMove = std::function<void()>());

    // Whether the delivered file still stands at the path: another file there (the next sender's) is
    // not it.
    bool stillAtPath() const;

    // Takes the delivered file back if the host has not taken it: moved away from the path in one step,
    // so that either the host or this writer gets it, then removed.
    EWithdrawal withdraw(QString& strMessage);

private:
    // Writes and flushes the temporary file; fills m_strTmpPath.
    bool writeTemporary(const std::string& strDir, const QByteArray& bytes, QString& strMessage);
    // One attempt to move the temporary file to the path: 1 done, 0 the path is taken, -1 failed.
    int moveIntoPlace(QString& strMessage);

    std::string m_strPath;
    std::string m_strTmpPath;
    // Identity of the file written, to tell it from a later file at the same path.
    dev_t m_nDevice = 0;
    ino_t m_nInode = 0;
};

} // namespace TC
