// The bytes of an instruction file through the reader's decoding and line cutting. The lines must put
// the text back together, and nothing may vanish without a trace: a text without replacement characters
// encodes back to the very bytes that were read.
#include "common/cfuzzhost.h"

#include "cbatchorderfilemonitor.h"

#include <QBuffer>
#include <QByteArray>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pBytes, size_t nSize)
{
    CFuzzHost::instance();
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(pBytes), static_cast<int>(nSize));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QString strText;
    const QStringList lines = TC::CBatchOrderFileMonitor::readLines(device, strText);
    FUZZ_CHECK(lines.join(QLatin1Char('\n')) == strText, "the lines are the text cut at line feeds");

    if (strText.contains(QChar::ReplacementCharacter))
        return 0;
    static QTextCodec* const s_pGbk = QTextCodec::codecForName("GBK");
    static const QByteArray s_utf8Bom("\xEF\xBB\xBF");
    if (bytes.startsWith(s_utf8Bom))
        FUZZ_CHECK(s_utf8Bom + strText.toUtf8() == bytes, "a UTF-8 file loses nothing silently");
    else if (QTextCodec::codecForUtfText(bytes, s_pGbk) == s_pGbk)
        FUZZ_CHECK(s_pGbk->fromUnicode(strText) == bytes, "a GBK file loses nothing silently");
    return 0;
}
