#include "cshortcuttextframer.h"

namespace TC {

bool CShortcutTextFramer::append(const QByteArray& bytes)
{
    if (m_eState != INCOMPLETE)
        return false;
    // Only the new bytes are searched: a large text arriving in small reads stays linear.
    const int nEnd = bytes.indexOf('\0');
    const qint64 nTextBytes = m_buffer.size() + (nEnd < 0 ? bytes.size() : nEnd);
    if (nTextBytes > m_nMaxBytes) {
        m_buffer.clear();
        m_eState = TOO_LARGE;
        return true;
    }
    if (nEnd < 0) {
        m_buffer += bytes;
        return false;
    }
    m_buffer += bytes.left(nEnd);
    m_strText = QString::fromUtf8(m_buffer);
    m_buffer.clear();
    m_eState = COMPLETE;
    return true;
}

} // namespace TC
