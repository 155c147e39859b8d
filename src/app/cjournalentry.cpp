#include "cjournalentry.h"

#include "ui/cuiresource.h"
#include "ui/wqconvert.h"

#include <cfloat>
#include <climits>

namespace TC {

QString CJournalEntry::getDisplayQString(int nColumn) const
{
    switch (nColumn) {
    case COLUMN_TIME:
        // The date is the journal's business; a trader reads the time of day, to the millisecond.
        return m_strTime.mid(m_strTime.indexOf(QLatin1Char('T')) + 1);
    case COLUMN_PRICE:
        return m_bHasPrice ? WQ::formatDoubleNumber(m_dPrice, 3) : QString();
    default:
        return getQString(nColumn);
    }
}

QString CJournalEntry::getQString(int nColumn) const
{
    switch (nColumn) {
    case COLUMN_SERIAL:
        return QString::number(m_nSerial);
    case COLUMN_KIND:
        return m_strKind;
    case COLUMN_BATCH:
        return m_nBatchId < 0 ? QString() : QString::number(m_nBatchId);
    case COLUMN_TIME:
        return m_strTime;
    case COLUMN_ACCOUNT:
        return m_strAccount;
    case COLUMN_CODE:
        return m_strCode;
    case COLUMN_VOLUME:
        return m_nVolume < 0 ? QString() : QString::number(m_nVolume);
    case COLUMN_PRICE:
        return m_bHasPrice ? QString::number(m_dPrice, 'f', 3) : QString();
    case COLUMN_PRICE_TYPE:
        return m_strPriceType;
    case COLUMN_NOTE:
        return m_strNote;
    default:
        return QString();
    }
}

int CJournalEntry::getInt(int) const
{
    return INT_MAX;
}

double CJournalEntry::getDouble(int nColumn) const
{
    return nColumn == COLUMN_PRICE && m_bHasPrice ? m_dPrice : DBL_MAX;
}

long long CJournalEntry::getLonglong(int nColumn) const
{
    switch (nColumn) {
    case COLUMN_SERIAL:
        return m_nSerial;
    case COLUMN_BATCH:
        return m_nBatchId < 0 ? LLONG_MAX : m_nBatchId;
    case COLUMN_VOLUME:
        return m_nVolume < 0 ? LLONG_MAX : m_nVolume;
    default:
        return LLONG_MAX;
    }
}

const QColor* CJournalEntry::getTextColor(int) const
{
    return &WQ::CUiResource::instance()->getColor(QStringLiteral("clr_text_default"));
}

std::string CJournalEntry::key() const
{
    return std::to_string(m_nSerial);
}

} // namespace TC
