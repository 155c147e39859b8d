#include "cbatchorderlinesplitter.h"

#include <QVarLengthArray>

namespace TC {

QStringList CBatchOrderLineSplitter::split(const QString& strLine)
{
    const QChar* pChars = strLine.constData();
    const int nSize = strLine.size();

    // Walking backwards, the parity of the quotes seen so far is the parity of the quotes after the
    // current position, which is all the lookahead of the regular expression asks about. Separator
    // positions come out last first; typical lines have few enough to stay off the heap.
    QVarLengthArray<int, 32> separators;
    bool bEvenQuotesAfter = true;
    for (int i = nSize - 1; i >= 0; --i)
    {
        const char16_t ch = pChars[i].unicode();
        if (ch == u'"')
            bEvenQuotesAfter = !bEvenQuotesAfter;
        else if (ch == u',' && bEvenQuotesAfter)
            separators.append(i);
    }

    QStringList parts;
    parts.reserve(separators.size() + 1);
    int nStart = 0;
    for (int n = separators.size() - 1; n >= 0; --n)
    {
        const int nSeparator = separators[n];
        parts.append(strLine.mid(nStart, nSeparator - nStart));
        nStart = nSeparator + 1;
    }
    parts.append(nStart == 0 ? strLine : strLine.mid(nStart));
    return parts;
}

} // namespace TC
