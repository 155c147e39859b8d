#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace TC {

// Collects the one "BatchOrder:" text of a local socket connection: UTF-8 ended by a NUL byte, refused
// once it runs past a size limit. Pure framing: the caller reads the socket and acts on the verdict, and
// the verdict does not depend on how the bytes were cut into reads.
class CShortcutTextFramer
{
public:
    enum EState
    {
        INCOMPLETE, // no NUL yet, within the limit
        COMPLETE,   // text() holds the text before the first NUL
        TOO_LARGE,  // more than the limit came without a NUL, or before it
    };

    // A text larger than this is refused rather than buffered without end.
    static constexpr qint64 kDefaultMaxBytes = 16 * 1024 * 1024;

    explicit CShortcutTextFramer(qint64 nMaxBytes = kDefaultMaxBytes) : m_nMaxBytes(nMaxBytes) {}

    // Adds the bytes of one read. True exactly once: on the read that decided the request (COMPLETE or
    // TOO_LARGE); bytes after that are dropped.
    bool append(const QByteArray& bytes);

    EState state() const { return m_eState; }
    const QString& text() const { return m_strText; }

private:
    qint64 m_nMaxBytes;
    EState m_eState = INCOMPLETE;
    QByteArray m_buffer;
    QString m_strText;
};

} // namespace TC
