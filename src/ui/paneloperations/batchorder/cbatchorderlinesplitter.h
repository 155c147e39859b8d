#pragma once

#include <QString>
#include <QStringList>

namespace TC {

// Splits an instruction line into its columns: a comma separates two columns only when an even number
// of double quotes follows it up to the end of the line. Quotes stay in the fields, nothing is trimmed,
// empty fields are kept. Gives exactly what QString::split with the QRegExp
// ,(?=([^"]*"[^"]*")*[^"]*$) gives, in one backward pass over the line.
class CBatchOrderLineSplitter
{
public:
    static QStringList split(const QString& strLine);
};

} // namespace TC
