#include "cbatchorderdata.h"

#include "batchordercommon.h"
#include "cbatchorderlinesplitter.h"
#include "cbatchordermanager.h"

#include "base/cmanualsingletont.h"
#include "base/utils.h"
#include "config/accountlookup.h"
#include "config/cconfig.h"
#include "trading/corderservice.h"
#include "trading/corderstrategyparam.h"
#include "trading/tradercenter.h"
#include "ui/wqconvert.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

namespace TC {

namespace {

constexpr int kColumnCount = 14;      // columns past EXTRAPARAM are ignored
constexpr qint64 kMaxLineAgeSec = 60; // older INSERTTIME values are stale
constexpr qint64 kNoInsertTime = -1;  // writers that do not stamp their lines put -1

const QString kAnyAccountType = QStringLiteral("49");
const QString kAccountKeySeparator = QStringLiteral("____");
const QString kUnknownAccount = QStringLiteral("_");
const QString kCancelByNumber = QStringLiteral("cancel_order_number");

// Advanced only by accepted lines. Every parse runs on the manager's strand under its mutex, which is
// what serialises this counter.
int32_t g_nNextSeq = 0;

enum ELineKind
{
    LINE_ORDER,
    LINE_CANCEL,
    LINE_TASK,
    LINE_ILLEGAL,
};

ELineKind classify(const QString& strOrderType)
{
    if (strOrderType == QLatin1String("208") || strOrderType == QLatin1String("209")
        || strOrderType == QLatin1String("210"))
        return LINE_TASK;
    if (strOrderType == QLatin1String("200") || strOrderType == QLatin1String("cancel_order")
        || strOrderType == kCancelByNumber)
        return LINE_CANCEL;
    bool bOk = false;
    const int nType = strOrderType.toInt(&bOk, 10);
    return bOk && nType >= 0 ? LINE_ORDER : LINE_ILLEGAL;
}

void reportError(const QString& strText, bool bLog)
{
    if (CBatchOrderManager* pManager = CBatchOrderManager::instance())
        pManager->showMsg(MSG_LEVEL_ERROR, strText, bLog);
}

// The account a cancel line names: the host's key for it, else the data centre's, else the id as written.
QString resolveCancelAccount(const CBatchOrderData& data)
{
    QString strAccount = getAccountFromOrderParam(data.m_strActType, data.m_strPriceType, data.m_strBrokerType);
    if (strAccount.isEmpty() && !data.m_strBrokerType.isEmpty())
    {
        ttservice::IDataCenter* pDataCenter = ttservice::TraderCenter::instance()->getDataCenter();
        if (pDataCenter)
            strAccount = WQ::sToQs(
                pDataCenter->getAccountKeyById(toUtf8(data.m_strPriceType), data.m_strBrokerType.toInt(nullptr, 10)));
    }
    // Neither "" nor the bare "_" placeholder is an account key; the host then gets the id as written.
    if (strAccount.isEmpty() || strAccount == kUnknownAccount)
        strAccount = data.m_strPriceType;
    return strAccount;
}

void executeCancel(CBatchOrderData& data)
{
    data.m_strAccountId = resolveCancelAccount(data);
    const std::vector<std::string> cancel{toUtf8(data.m_strOrderType), toUtf8(data.m_strAccountId),
                                          toUtf8(data.m_strModePrice)};
    COrderService* pService = orderService();
    COrderStrategyParam param;
    // Without the batch order strategy (monitoring stopped) the cancel is dropped silently.
    if (pService && pService->getStrategy(kBatchOrderStrategy, param))
        pService->cancelOrders(cancel, param, -1, data.m_strOrderType == kCancelByNumber);
    data.m_nStatus = 4;
}

void executeTask(CBatchOrderData& data)
{
    const std::vector<std::vector<std::string>> tasks{{toUtf8(data.m_strOrderType), toUtf8(data.m_strPriceType)}};
    const std::vector<int> params{-1};
    COrderService* pService = orderService();
    COrderStrategyParam param;
    if (pService && pService->getStrategy(kBatchOrderStrategy, param))
        pService->tryOptTasks(param, tasks, params);
    data.m_nStatus = 5;
}

// A full account key is "broker____platform____branch____type____id". Finds its first and fourth fields without
// building the part list; false when the text has fewer than five parts.
bool accountKeyParts(const QString& strAccount, QString& strBroker, QString& strType)
{
    int separators[4];
    int nFrom = 0;
    for (int& nSeparator : separators)
    {
        nSeparator = strAccount.indexOf(kAccountKeySeparator, nFrom, Qt::CaseSensitive);
        if (nSeparator < 0)
            return false;
        nFrom = nSeparator + kAccountKeySeparator.size();
    }
    strBroker = strAccount.left(separators[0]);
    const int nTypeStart = separators[2] + kAccountKeySeparator.size();
    strType = strAccount.mid(nTypeStart, separators[3] - nTypeStart);
    return true;
}

} // namespace

CBatchOrderData::CBatchOrderData(const QString& strLine)
{
    parse(strLine);
}

bool CBatchOrderData::parse(const QString& strLine)
{
    const QStringList parts = CBatchOrderLineSplitter::split(strLine);
    const int nColumns = std::min(parts.size(), kColumnCount);
    for (int i = 0; i < nColumns; ++i)
    {
        const QString& strPart = parts.at(i);
        switch (i)
        {
        case 0:
            m_strOrderType = strPart;
            break;
        case 1:
            m_strPriceType = strPart;
            break;
        case 2:
            m_strModePrice = strPart;
            break;
        case 3:
            m_strStockCode = strPart;
            break;
        case 4:
            // Unchecked on purpose: a non-number gives 0 and the order building rejects it later. A
            // negative count keeps its sign bits, so -5 reads back as 2^64 - 5.
            m_nVolume = static_cast<uint64_t>(static_cast<int64_t>(strPart.toInt(nullptr, 10)));
            m_strVolume = strPart;
            break;
        case 5:
            m_strAccountId = strPart;
            break;
        case 6:
            m_strActType = strPart;
            break;
        case 7:
            m_strBrokerType = strPart;
            break;
        case 8:
            m_strStrategy = strPart;
            break;
        case 9:
            m_strNote = strPart;
            break;
        case 10:
            m_strTradeParam = strPart;
            break;
        case 11:
        {
            m_strInsertTime = strPart;
            bool bOk = false;
            const qint64 nInsertTime = strPart.toLongLong(&bOk, 10);
            if (bOk && nInsertTime != kNoInsertTime)
            {
                const qint64 nNow = m_pfnWallClock ? m_pfnWallClock() : static_cast<qint64>(std::time(nullptr));
                // Compared as "older than now - 60" so that no INSERTTIME, however far off, overflows.
                if (nInsertTime < nNow - kMaxLineAgeSec)
                {
                    m_strErrorMsg = QStringLiteral("参数超时(%1)!").arg(parts.join(QLatin1Char(',')));
                    reportError(m_strErrorMsg, true);
                    return false;
                }
            }
            break;
        }
        case 12:
            m_strBasketPath = strPart;
            break;
        case 13:
            m_strExtraParam = strPart;
            break;
        default:
            break;
        }
    }

    if (const CConfig* pConfig = getConfig())
    {
        const QString& strFrom = pConfig->strategyReplaceFrom();
        const QString& strTo = pConfig->strategyReplaceTo();
        if (!strFrom.isEmpty() && !strTo.isEmpty() && m_strStrategy == strFrom)
            m_strStrategy = strTo;
    }

    switch (classify(m_strOrderType))
    {
    case LINE_TASK:
        executeTask(*this);
        break;
    case LINE_CANCEL:
        executeCancel(*this);
        break;
    case LINE_ORDER:
        break;
    case LINE_ILLEGAL:
        m_strErrorMsg = QStringLiteral("参数非法(%1)!").arg(strLine);
        reportError(m_strErrorMsg, false);
        return false;
    }

    // "49" tells the host's account lookup to accept any account type; only a full key pins the type.
    if (m_strActType != kAnyAccountType)
    {
        m_strOrigActType = m_strActType;
        m_strActType = kAnyAccountType;
    }
    if (!m_strAccountId.isEmpty())
    {
        QString strBroker;
        QString strType;
        if (accountKeyParts(m_strAccountId, strBroker, strType))
        {
            m_strBrokerType = strBroker;
            m_strActType = strType;
        }
    }

    m_nSeq = g_nNextSeq++;
    m_nTimetag = static_cast<uint64_t>(utils::clockMSec());
    return true;
}

QStringList CBatchOrderData::toStringList() const
{
    QStringList values;
    values.reserve(16);
    values << m_strOrderType << m_strPriceType << m_strModePrice << m_strStockCode
           << QString::number(static_cast<qulonglong>(m_nVolume)) << m_strAccountId << m_strActType
           << m_strBrokerType << m_strStrategy << m_strNote << m_strNote1 << m_strTradeParam << m_strVolume
           << m_strBasketPath << m_strInsertTime << m_strExtraParam;
    return values;
}

QString CBatchOrderData::toString() const
{
    return toStringList().join(QLatin1Char(','));
}

std::string CBatchOrderData::toStdString() const
{
    return toUtf8(toString());
}

QStringList CBatchOrderData::columnNames()
{
    static const QStringList s_names{
        QStringLiteral("ORDER_TYPE"), QStringLiteral("PRICE_TYPE"), QStringLiteral("MODE_PRICE"),
        QStringLiteral("STOCK_CODE"), QStringLiteral("VOLUME"),     QStringLiteral("ACCOUNT_ID"),
        QStringLiteral("ACT_TYPE"),   QStringLiteral("BROKERTYPE"), QStringLiteral("STRATEGY"),
        QStringLiteral("NOTE"),       QStringLiteral("NOTE1"),      QStringLiteral("TRADEPARAM"),
        QStringLiteral("COMMAND_ID"), QStringLiteral("BASKETPATH"), QStringLiteral("INSERTTIME"),
        QStringLiteral("EXTRAPARAM"),
    };
    return s_names;
}

} // namespace TC
