#include "ui/ibasehpftabledata.h"

#include <functional>

namespace WQ {

IBaseHpfTableData::~IBaseHpfTableData() = default;

unsigned long long IBaseHpfTableData::hashKey() const
{
    return std::hash<std::string>()(key());
}

QString IBaseHpfTableData::qsKey() const
{
    return QString::fromStdString(key());
}

QString IBaseHpfTableData::getDisplayUnit(int) const
{
    return QString();
}

QString IBaseHpfTableData::getItemIconTip(int) const
{
    return QString();
}

const QColor* IBaseHpfTableData::getBackgroundColor(int) const
{
    return nullptr;
}

} // namespace WQ
