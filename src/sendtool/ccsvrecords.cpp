#include "ccsvrecords.h"

namespace TC {

int CCsvRecords::parse(const QByteArray& data, std::vector<QStringList>& records)
{
    int nConsumed = 0;
    QStringList fields;
    QByteArray field;
    bool bQuoted = false;    // inside a quoted field
    bool bWasQuoted = false; // the current field was quoted: its "\r" before the line end is its own
    const int nSize = data.size();
    for (int i = 0; i < nSize; ++i) {
        const char c = data[i];
        if (bQuoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < nSize && data[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                // A closing quote as the last byte read: what follows decides, and it is not there yet.
                bQuoted = false;
            }
            continue;
        }
        if (c == '"' && field.isEmpty() && !bWasQuoted) {
            bQuoted = true;
            bWasQuoted = true;
        } else if (c == ',') {
            fields << QString::fromUtf8(field);
            field.clear();
            bWasQuoted = false;
        } else if (c == '\n') {
            if (!bWasQuoted && field.endsWith('\r'))
                field.chop(1);
            fields << QString::fromUtf8(field);
            records.push_back(fields);
            fields.clear();
            field.clear();
            bWasQuoted = false;
            nConsumed = i + 1;
        } else if (c != '\r' || !bWasQuoted) {
            field += c;
        }
    }
    return nConsumed;
}

} // namespace TC
