// One instruction line, as the manager's intake hands it over, through parsing and, for an order line,
// through the order building that a dispatch runs. The splitter must agree with the regular expression
// it replaces, and the building must either add exactly one order or give a reason.
#include "common/cfuzzhost.h"

#include "cbatchorderdata.h"
#include "cbatchorderhelper.h"
#include "cbatchorderlinesplitter.h"

#include <boost/make_shared.hpp>

#include <QRegExp>
#include <QVector>

#include <cstddef>
#include <cstdint>

namespace {

// The regular expression scans the rest of the line at every comma; longer lines only cost time.
constexpr int kMaxCompareLength = 2048;

void checkSplitter(const QString& strLine)
{
    if (strLine.size() > kMaxCompareLength)
        return;
    static const QRegExp s_separator(QStringLiteral(",(?=([^\"]*\"[^\"]*\")*[^\"]*$)"));
    FUZZ_CHECK(TC::CBatchOrderLineSplitter::split(strLine) == strLine.split(s_separator),
               "the splitter disagrees with the regular expression");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pBytes, size_t nSize)
{
    CFuzzHost::instance();
    // What the intake does to every line before parsing.
    QString strLine =
        QString::fromUtf8(reinterpret_cast<const char*>(pBytes), static_cast<int>(nSize)).trimmed();
    strLine.remove(QLatin1Char('\n'));
    strLine.remove(QLatin1Char('\r'));
    if (strLine.isEmpty())
        return 0;
    checkSplitter(strLine);

    auto pData = boost::make_shared<TC::CBatchOrderData>();
    if (!pData->parse(strLine))
        return 0;
    FUZZ_CHECK(pData->toStringList().size() == TC::CBatchOrderData::columnNames().size(),
               "a backup row has as many values as the header has names");
    if (pData->m_nStatus != 0)
        return 0;

    QVector<TC::COrderParam> orders;
    TC::CBatchOrderHelper().buildOrderParam(pData, orders);
    FUZZ_CHECK((orders.size() == 1) != !pData->m_strErrorMsg.isEmpty(),
               "an order line becomes exactly one order or a reason");
    return 0;
}
