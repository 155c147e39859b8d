#include "clineoutcomes.h"

#include "creceiptfollower.h"

namespace TC {

namespace {

// One printed line per outcome: control characters in a reason or text would break it up.
QString printable(const QString& strText)
{
    QString strOut;
    for (const QChar c : strText) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            strOut += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            strOut += c;
    }
    return strOut;
}

// "LINE STATE[ DETAIL]"
QString outcomeLine(int nLine, const QString& strState, const QString& strDetail)
{
    QString strOut = QStringLiteral("%1 %2").arg(nLine).arg(strState);
    if (!strDetail.isEmpty())
        strOut += QLatin1Char(' ') + printable(strDetail);
    return strOut;
}

} // namespace

CLineOutcomes::CLineOutcomes(int nLines, EGoal eGoal)
    : m_eGoal(eGoal), m_lines(static_cast<size_t>(nLines)), m_nOpen(nLines)
{
}

QString CLineOutcomes::add(const CReceipt& receipt)
{
    if (receipt.m_nLine < 1 || receipt.m_nLine > static_cast<int>(m_lines.size()))
        return QString();
    m_bAnyReceipt = true;
    CLine& line = m_lines[static_cast<size_t>(receipt.m_nLine - 1)];
    const QString& strState = receipt.m_strState;
    if (line.m_bDone)
        return QString();
    if (strState == QLatin1String("taken")) {
        line.m_strText = receipt.m_strText;
        return QString();
    }
    if (!line.m_bAnswered) {
        if (strState == QLatin1String("rejected"))
            return finish(receipt.m_nLine, line, strState, receipt.m_strReason, true);
        if (strState == QLatin1String("cancel_sent") || strState == QLatin1String("task_sent"))
            return finish(receipt.m_nLine, line, strState, line.m_strText, false);
        if (strState != QLatin1String("pending"))
            return QString();
        if (m_eGoal == ACCEPTED)
            return finish(receipt.m_nLine, line, strState, line.m_strText, false);
        line.m_bAnswered = true;
        return outcomeLine(receipt.m_nLine, strState, line.m_strText);
    }
    // A pending line, followed until it leaves the queue.
    if (strState == QLatin1String("placed"))
        return finish(receipt.m_nLine, line, strState, QStringLiteral("batch=") + receipt.m_strBatchId,
                      false);
    if (strState == QLatin1String("dispatch_rejected") || strState == QLatin1String("unfinished"))
        return finish(receipt.m_nLine, line, strState, receipt.m_strReason, true);
    if (strState == QLatin1String("cleared"))
        return finish(receipt.m_nLine, line, strState, QString(), true);
    return QString();
}

QString CLineOutcomes::finish(int nLine, CLine& line, const QString& strState, const QString& strDetail,
                              bool bFailed)
{
    line.m_bAnswered = true;
    line.m_bDone = true;
    --m_nOpen;
    m_bFailed = m_bFailed || bFailed;
    return outcomeLine(nLine, strState, strDetail);
}

QList<int> CLineOutcomes::openLines() const
{
    QList<int> lines;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].m_bDone)
            lines << static_cast<int>(i + 1);
    }
    return lines;
}

} // namespace TC
