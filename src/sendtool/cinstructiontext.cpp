#include "cinstructiontext.h"

#include <QTextCodec>

namespace TC {

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

} // namespace

bool CInstructionText::addUtf8(const QByteArray& bytes, const QString& strSource, QString& strError)
{
    QByteArray text = bytes;
    if (text.startsWith(kUtf8Bom))
        text.remove(0, 3);
    const QString strText = QString::fromUtf8(text);
    // Decoding replaces what is not UTF-8; only a clean round trip shows there was nothing to replace.
    if (strText.toUtf8() != text) {
        strError = QStringLiteral("%1 is not UTF-8 text").arg(strSource);
        return false;
    }
    for (QString strLine : strText.split(QLatin1Char('\n'))) {
        if (strLine.endsWith(QLatin1Char('\r')))
            strLine.chop(1);
        if (!strLine.trimmed().isEmpty())
            m_lines << strLine;
    }
    return true;
}

bool CInstructionText::encode(CSendOptions::EEncoding eEncoding, QByteArray& bytes, QString& strError) const
{
    const QString strText = m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    if (eEncoding == CSendOptions::ENCODING_UTF8) {
        bytes = QByteArray(kUtf8Bom) + strText.toUtf8();
        return true;
    }
    // The codec the reader decodes with; a character it has no code for would arrive as "?".
    QTextCodec* pCodec = QTextCodec::codecForName("GBK");
    bytes = pCodec->fromUnicode(strText);
    if (pCodec->toUnicode(bytes) == strText)
        return true;
    for (const QString& strLine : m_lines) {
        if (pCodec->toUnicode(pCodec->fromUnicode(strLine)) != strLine) {
            strError =
                QStringLiteral("this line has characters that GBK cannot hold (use --encoding utf8): %1")
                    .arg(strLine);
            return false;
        }
    }
    strError = QStringLiteral("the text has characters that GBK cannot hold (use --encoding utf8)");
    return false;
}

} // namespace TC
