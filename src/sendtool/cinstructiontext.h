#pragma once

#include "csendoptions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TC {

// The instruction lines to send: taken from UTF-8 input, checked, and encoded as the file the reader
// expects. Refuses what would reach the host other than as written: input that is not UTF-8, and text
// that the chosen encoding cannot hold.
class CInstructionText
{
public:
    // Adds the lines of one piece of input (an argument, a file, standard input); strSource names it in
    // an error. Line ends may be "\n" or "\r\n"; blank lines are left out.
    bool addUtf8(const QByteArray& bytes, const QString& strSource, QString& strError);

    const QStringList& lines() const { return m_lines; }

    // The file contents: every line ended by "\n".
    bool encode(CSendOptions::EEncoding eEncoding, QByteArray& bytes, QString& strError) const;

private:
    QStringList m_lines;
};

} // namespace TC
