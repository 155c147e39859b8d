#include "cbatchorderlazytabledata.h"

#include "cbatchorderdata.h"
#include "cbatchordertabledata.h"

#include <boost/make_shared.hpp>

namespace TC {

CBatchOrderLazyTableData::CBatchOrderLazyTableData(boost::shared_ptr<CBatchOrderData> pData,
                                                   const QString& strKey)
    : m_pData(std::move(pData)), m_strKey(strKey.toStdString()), m_strQsKey(strKey)
{
}

CBatchOrderLazyTableData::~CBatchOrderLazyTableData() = default;

const CBatchOrderTableData& CBatchOrderLazyTableData::cells() const
{
    std::call_once(m_built, [this] {
        m_pCells = CBatchOrderTableData::build(*m_pData);
        if (!m_pCells) {
            m_pCells =
                boost::make_shared<CBatchOrderTableData>(); // not reached: placed rows have a price type
        }
    });
    return *m_pCells;
}

QString CBatchOrderLazyTableData::getDisplayQString(int nColumn) const
{
    return cells().getDisplayQString(nColumn);
}

QString CBatchOrderLazyTableData::getQString(int nColumn) const
{
    return cells().getQString(nColumn);
}

int CBatchOrderLazyTableData::getInt(int nColumn) const
{
    return cells().getInt(nColumn);
}

double CBatchOrderLazyTableData::getDouble(int nColumn) const
{
    return cells().getDouble(nColumn);
}

long long CBatchOrderLazyTableData::getLonglong(int nColumn) const
{
    return cells().getLonglong(nColumn);
}

const QColor* CBatchOrderLazyTableData::getTextColor(int nColumn) const
{
    return cells().getTextColor(nColumn);
}

std::string CBatchOrderLazyTableData::key() const
{
    return m_strKey;
}

QString CBatchOrderLazyTableData::qsKey() const
{
    return m_strQsKey;
}

} // namespace TC
