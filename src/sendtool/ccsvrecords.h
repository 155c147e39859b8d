#pragma once

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace TC {

// Cuts RFC 4180 records (quoted fields may hold commas, doubled quotes and line ends) out of text read
// from a file another process is still appending to. Parsing only: no I/O.
class CCsvRecords
{
public:
    // Parses the complete records at the start of data, each ended by "\n" (or "\r\n") outside quotes,
    // as UTF-8. Returns the number of bytes they take up: an unfinished last record is left for the next
    // call, once the rest of it has arrived.
    static int parse(const QByteArray& data, std::vector<QStringList>& records);
};

} // namespace TC
