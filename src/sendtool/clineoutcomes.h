#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace TC {

struct CReceipt;

// What became of each line of a delivered instruction file, from its receipts: which line to print for
// each receipt, whether every line has an outcome, and whether one failed. No I/O.
class CLineOutcomes
{
public:
    enum EGoal
    {
        ACCEPTED, // done once the reader accepted (pending, cancel_sent, task_sent) or rejected each line
        PLACED,   // order lines are done only once placed, or refused, cleared or left unfinished
    };

    CLineOutcomes(int nLines, EGoal eGoal);

    // Takes one receipt; the line to print for it ("LINE STATE[ DETAIL]"), or an empty string when it
    // prints nothing: taken, a repeat, another line's, or a state past the goal.
    QString add(const CReceipt& receipt);

    bool complete() const { return m_nOpen == 0; }
    bool anyFailed() const { return m_bFailed; }
    bool anyReceipt() const { return m_bAnyReceipt; }
    // The lines without an outcome yet.
    QList<int> openLines() const;

private:
    struct CLine
    {
        QString m_strText;
        bool m_bAnswered = false; // accepted or rejected
        bool m_bDone = false;
    };

    QString finish(int nLine, CLine& line, const QString& strState, const QString& strDetail, bool bFailed);

    EGoal m_eGoal;
    std::vector<CLine> m_lines;
    int m_nOpen;
    bool m_bFailed = false;
    bool m_bAnyReceipt = false;
};

} // namespace TC
