#pragma once

#include <QColor>
#include <QString>

#include <string>

namespace WQ {

// One row of a host table. A row answers the table's per-cell questions; it is not changed once it has
// been added to a model, so the GUI thread may read it while other threads build new rows. The row key
// (key(), and qsKey() and hashKey() derived from it) identifies the row in its model.
class IBaseHpfTableData
{
public:
    virtual ~IBaseHpfTableData();

    // The cell text as shown, and its plain text.
    virtual QString getDisplayQString(int nColumn) const = 0;
    virtual QString getQString(int nColumn) const = 0;
    // Typed cell values for sorting; the largest value of the type means "no value".
    virtual int getInt(int nColumn) const = 0;
    virtual double getDouble(int nColumn) const = 0;
    virtual long long getLonglong(int nColumn) const = 0;
    // The cell's text colour; null for the table's own.
    virtual const QColor* getTextColor(int nColumn) const = 0;
    virtual std::string key() const = 0;

    virtual unsigned long long hashKey() const;
    virtual QString qsKey() const;
    // A unit shown after the display text ("" for none).
    virtual QString getDisplayUnit(int nColumn) const;
    // The cell's tool tip ("" for none).
    virtual QString getItemIconTip(int nColumn) const;
    // The cell's background; null for the table's own.
    virtual const QColor* getBackgroundColor(int nColumn) const;
};

} // namespace WQ
