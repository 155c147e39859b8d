#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <ostream>

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString& str, std::ostream* pStream)
{
    *pStream << '"' << str.toStdString() << '"';
}

// Runs one statement on the file through a connection of its own, as an outside tool would. Each row comes
// back as its values joined by '|', NULL spelt out so that it differs from ''; a failure as "error: ...".
inline QStringList sqlRows(const QString& strPath, const QString& strSql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(strPath);
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        if (!query.exec(strSql))
            rows << QStringLiteral("error: ") + strSql + ": " + query.lastError().text() +
                        db.lastError().text();
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return rows;
}

// Another writer of the file: holds its write lock from construction until release().
class CWriteLock
{
public:
    explicit CWriteLock(const QString& strPath)
        : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock")))
    {
        m_db.setDatabaseName(strPath);
        m_bHeld = m_db.open() && (m_query = QSqlQuery(m_db)).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~CWriteLock()
    {
        release();
        m_query = QSqlQuery();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    }
    bool isHeld() const { return m_bHeld; }
    void release() { m_bHeld = m_bHeld && !m_query.exec(QStringLiteral("COMMIT")); }

private:
    QSqlDatabase m_db;
    QSqlQuery m_query;
    bool m_bHeld = false;
};
