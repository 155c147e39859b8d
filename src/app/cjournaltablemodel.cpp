#include "cjournaltablemodel.h"

#include "cjournalentry.h"

#include <QVariant>

namespace TC {

namespace {

const struct
{
    const char* m_szName;
    QVariant::Type m_eType;
} s_columns[CJournalEntry::COLUMN_COUNT] = {
    {"序号", QVariant::LongLong}, {"类别", QVariant::String}, {"批次", QVariant::LongLong},
    {"时间", QVariant::String},   {"账号", QVariant::String}, {"代码", QVariant::String},
    {"数量", QVariant::LongLong}, {"价格", QVariant::Double}, {"价格类型", QVariant::String},
    {"备注", QVariant::String},
};

bool validColumn(int nColumn)
{
    return nColumn >= 0 && nColumn < CJournalEntry::COLUMN_COUNT;
}

} // namespace

CJournalTableModel::CJournalTableModel() : WQ::IBaseHpfTableModel(false)
{
}

CJournalTableModel::~CJournalTableModel() = default;

int CJournalTableModel::columnCount() const
{
    return CJournalEntry::COLUMN_COUNT;
}

QString CJournalTableModel::columnName(int nColumn) const
{
    return validColumn(nColumn) ? QString::fromUtf8(s_columns[nColumn].m_szName) : QString();
}

int CJournalTableModel::columnType(int nColumn) const
{
    return validColumn(nColumn) ? static_cast<int>(s_columns[nColumn].m_eType) : 0;
}

QString CJournalTableModel::emptyText() const
{
    return QStringLiteral("纸面券商尚未收到委托");
}

} // namespace TC
