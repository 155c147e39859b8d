#include "cbatchordertablemodel.h"

#include <QVariant>

namespace TC {

namespace {

const struct
{
    const char* m_szName;
    int m_nType;
} s_columns[] = {
    {"证券市场", QVariant::String}, {"合约代码", QVariant::String},  {"合约名称", QVariant::String},
    {"操作类型", QVariant::Int},    {"价格类型", QVariant::Int},     {"委托数量", QVariant::LongLong},
    {"委托价格", QVariant::Double}, {"账号", QVariant::String},      {"算法类型", QVariant::Int},
    {"投资备注", QVariant::String}, {"投资备注1", QVariant::String},
};
const int kColumnCount = static_cast<int>(sizeof(s_columns) / sizeof(s_columns[0]));

} // namespace

CBatchOrderTableModel::CBatchOrderTableModel() : WQ::IBaseHpfTableModel(true)
{
}

CBatchOrderTableModel::~CBatchOrderTableModel() = default;

int CBatchOrderTableModel::columnCount() const
{
    return kColumnCount;
}

QString CBatchOrderTableModel::columnName(int nColumn) const
{
    return nColumn >= 0 && nColumn < kColumnCount ? QString::fromUtf8(s_columns[nColumn].m_szName)
                                                  : QString();
}

int CBatchOrderTableModel::columnType(int nColumn) const
{
    return nColumn >= 0 && nColumn < kColumnCount ? s_columns[nColumn].m_nType : 0;
}

QString CBatchOrderTableModel::emptyText() const
{
    return QString();
}

bool CBatchOrderTableModel::isMultiSelection() const
{
    return false;
}

int CBatchOrderTableModel::rowHeight() const
{
    return 0;
}

WQ::IBaseHpfTableModel::ETableFlags CBatchOrderTableModel::tableFlags() const
{
    return TABLE_FLAG_NONE;
}

} // namespace TC
