// batchorder-send against a real batchorder-host watching its instruction file, and with --wait against
// a stand-in host that takes the file and writes the receipts each case needs.
#include "common/chostprocess.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>

namespace {

struct CSendResult
{
    int m_nExit = -1;
    QString m_strError;
    QString m_strOutput;
};

// Waits for a started batchorder-send to end.
CSendResult finish(QProcess& process)
{
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()),
            QString::fromUtf8(process.readAllStandardOutput())};
}

// Runs batchorder-send to completion with the given arguments and standard input.
CSendResult send(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(BATCHORDER_SEND_EXE), arguments);
    process.write(input);
    process.closeWriteChannel();
    return finish(process);
}

// The hidden files a sender writes beside the path before it puts them into place.
QStringList senderFiles(const QString& strPath)
{
    return QFileInfo(strPath).dir().entryList(
        {QLatin1Char('.') + QFileInfo(strPath).fileName() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
}

// One real host watching its path: every source and encoding reaches the journal intact; a path still
// taken is waited for and never replaced; --wait answers each line from the host's own receipts, and
// --until-placed follows an order until the host places it.
TEST(SendTool, RealHostTakesEverySourceAndAnswersEachLine)
{
    CHostProcess host({"--watch", "inbox/orders.csv", "--auto-dispatch"});
    ASSERT_TRUE(host.waitForStart());
    const QString strPath = host.inbox();
    // Waits until the journal holds this many orders; their notes in placing order.
    const auto notesOnceThereAre = [&](int nCount) {
        host.waitUntil([&] { return host.journalNotes().size() >= nCount; });
        return host.journalNotes();
    };
    QTemporaryDir dir;
    const QString strFile = dir.filePath(QStringLiteral("lines.csv"));
    ASSERT_TRUE(
        writeFile(strFile, QStringLiteral("\r\n24,0,9.8,000001,200,8880000001,2,2,,文件 卖出\r\n").toUtf8()));

    // Each run waits for the host to take the previous file before its own goes into place.
    EXPECT_EQ(send({"--path", strPath, "23,0,10.5,600000,100,8880000001,2,2,,参数 买入"}).m_nExit, 0);
    const QByteArray input = QStringLiteral("23,0,10.6,600000,300,8880000001,2,2,,标准输入 €\n").toUtf8();
    EXPECT_EQ(send({"--path", strPath, "--encoding", "utf8"}, input).m_nExit, 0);
    EXPECT_EQ(send({"--path", strPath, "--file", strFile}).m_nExit, 0);
    EXPECT_EQ(notesOnceThereAre(3), (QStringList{"参数 买入", "标准输入 €", "文件 卖出"}));

    // The reader leaves an empty file alone, so the path stays taken for as long as the test likes; the
    // sender's hidden file waits beside it and goes into place once the path is free.
    ASSERT_TRUE(writeFile(strPath, QByteArray()));
    QProcess waiting;
    waiting.start(QStringLiteral(BATCHORDER_SEND_EXE),
                  {"--path", strPath, "23,0,10.5,600000,100,8880000001,2,2,,等待后送达"});
    ASSERT_TRUE(waitUntil([&] { return !senderFiles(strPath).isEmpty(); }));
    EXPECT_EQ(QFileInfo(strPath).size(), 0) << "the waiting file was replaced";
    ASSERT_TRUE(QFile::remove(strPath));
    ASSERT_TRUE(waiting.waitForFinished(30000));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
    EXPECT_EQ(notesOnceThereAre(4).value(3), QStringLiteral("等待后送达"));

    // Lines printed as the receipts come: sorted, "1 placed batch=N" falls between line 1's and line 2's.
    const QString strOrder = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,等待回执");
    const QString strCancel = QStringLiteral("cancel_order,8880000001,123456,,,,2,2");
    const QString strStale = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,过期,,100");
    const CSendResult answered =
        send({"--path", strPath, "--wait", "30", "--until-placed", strOrder, strCancel, strStale});
    EXPECT_EQ(answered.m_nExit, 1) << answered.m_strError.toStdString();
    QStringList lines = answered.m_strOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    ASSERT_EQ(lines.size(), 4) << answered.m_strOutput.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^1 placed batch=\\d+$")).match(lines.takeAt(1)).hasMatch());
    EXPECT_EQ(lines, (QStringList{"1 pending " + strOrder, "2 cancel_sent " + strCancel,
                                  QStringLiteral("3 rejected 参数超时(%1)!").arg(strStale)}));

    EXPECT_EQ(host.terminate(), 0);
    EXPECT_FALSE(host.stdoutText().contains(QStringLiteral("参数非法"))) << host.stdoutText().toStdString();
}

TEST(SendToolWait, PrintsEachLinesOutcomeAndExitsByTheWorst)
{
    const QStringList lines = {QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,浦发 买入"),
                               QStringLiteral("cancel_order,8880000001,123456,,,,2,2")};
    enum ETaker
    {
        NOBODY,    // no host watches the path
        SILENT,    // a host takes the file and writes no receipt
        ANSWERS,   // a host takes the file and writes taken rows and then the case's rows
        INTERRUPT, // the sender gets a TERM while the file waits at the path
        BUSY,      // the path is taken for the whole wait
    };
    struct CRow
    {
        const char* m_szName;
        const char* m_szOptions; // split at blanks
        ETaker m_eTaker;
        const char* m_szReceipts; // "LINE,STATE,BATCH_ID,REASON", joined with ";"
        int m_nExit;
        QString m_strOutput;
        const char* m_szMessage; // on standard error
    };
    const QString strAccepted = QStringLiteral("1 pending %1\n2 cancel_sent %2\n").arg(lines[0], lines[1]);
    const CRow rows[] = {
        {"UTF-8 file with its byte order mark", "--wait 30 --encoding utf8", ANSWERS,
         "1,pending,,;2,cancel_sent,,", 0, strAccepted, ""},
        {"rejected line", "--wait 30", ANSWERS, "2,cancel_sent,,;1,rejected,,参数超时(10:00:00)!", 1,
         QStringLiteral("2 cancel_sent %1\n1 rejected 参数超时(10:00:00)!\n").arg(lines[1]), ""},
        {"until placed", "--wait 30 --until-placed", ANSWERS, "1,pending,,;2,cancel_sent,,;1,placed,17,", 0,
         strAccepted + QStringLiteral("1 placed batch=17\n"), ""},
        {"until placed, no outcome in time", "--wait 2 --until-placed", ANSWERS,
         "1,pending,,;2,cancel_sent,,", 2, strAccepted, "no outcome for line(s) 1 within 2 s"},
        {"taken, but no receipts", "--wait 2", SILENT, "", 2, "", "no receipt for it came within 2 s"},
        {"nobody watching: withdrawn", "--wait 0.3", NOBODY, "", 2, "",
         "nobody took %1 within 0.3 s - is a host watching this path? the lines were withdrawn"},
        {"interrupted while waiting: withdrawn", "--wait 60", INTERRUPT, "", 2, "",
         "nobody took %1 before the wait was interrupted"},
        {"path busy: not delivered", "--busy-timeout 0.2", BUSY, "", 2, "", "still taken after 0.2 s"},
        {"path busy, waiting: not delivered", "--wait 30 --busy-timeout 0.2", BUSY, "", 4, "",
         "still taken after 0.2 s"},
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        QTemporaryDir dir;
        const QString strPath = dir.filePath(QStringLiteral("orders.csv"));
        const QString strReceipts = dir.filePath(
            QStringLiteral("orders_receipts_%1.csv").arg(QDate::currentDate().toString("yyyyMMdd")));
        QByteArray bytes = lines.join(QLatin1Char('\n')).toUtf8() + "\n";
        const QStringList options = QString::fromLatin1(row.m_szOptions).split(QLatin1Char(' '));
        if (options.contains(QStringLiteral("utf8")))
            bytes.prepend("\xEF\xBB\xBF");
        else
            bytes = QTextCodec::codecForName("GBK")->fromUnicode(QString::fromUtf8(bytes));
        const QString strSha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        // One receipt row for "LINE,STATE,BATCH_ID,REASON" of these bytes, the text quoted.
        auto receipt = [&](const QString& strRow, const QString& strText = QString()) {
            return QStringLiteral("2026-12-07T10:00:00.000,file,%1,%2,\"%3\"\n")
                .arg(strSha256, strRow, strText)
                .toUtf8();
        };
        auto appendReceipts = [&](const QByteArray& data) {
            QFile file(strReceipts);
            return file.open(QIODevice::Append) && file.write(data) == data.size();
        };
        // The same bytes sent earlier: their receipts must not be taken for this delivery's.
        ASSERT_TRUE(appendReceipts("time,source,sha256,line,state,batch_id,reason,text\n" +
                                   receipt(QStringLiteral("1,taken,,"), lines[0]) +
                                   receipt(QStringLiteral("1,rejected,,old"))));
        if (row.m_eTaker == BUSY) {
            ASSERT_TRUE(writeFile(strPath, QByteArray()));
        }

        QProcess process;
        process.start(QStringLiteral(BATCHORDER_SEND_EXE), QStringList{"--path", strPath} + options + lines);
        process.closeWriteChannel();
        if (row.m_eTaker == SILENT || row.m_eTaker == ANSWERS || row.m_eTaker == INTERRUPT) {
            ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(strPath); }));
        }
        if (row.m_eTaker == SILENT || row.m_eTaker == ANSWERS) {
            // Taken the way the reader takes it: one rename, and the path is free.
            const QString strTaken = dir.filePath(QStringLiteral("orders_tmp1.csv"));
            ASSERT_TRUE(QFile::rename(strPath, strTaken));
            QFile taken(strTaken);
            ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
            EXPECT_EQ(taken.readAll(), bytes);
        }
        if (row.m_eTaker == ANSWERS) {
            QByteArray data = receipt(QStringLiteral("1,taken,,"), lines[0]) +
                              receipt(QStringLiteral("2,taken,,"), lines[1]);
            for (const QString& strRow : QString::fromUtf8(row.m_szReceipts).split(QLatin1Char(';')))
                data += receipt(strRow);
            ASSERT_TRUE(appendReceipts(data));
        }
        if (row.m_eTaker == INTERRUPT)
            process.terminate();
        const CSendResult result = finish(process);
        EXPECT_EQ(result.m_nExit, row.m_nExit);
        EXPECT_EQ(result.m_strOutput, row.m_strOutput);
        EXPECT_TRUE(result.m_strError.contains(
            QString::fromUtf8(row.m_szMessage).replace(QStringLiteral("%1"), strPath)))
            << result.m_strError.toStdString();
        if (row.m_eTaker == NOBODY || row.m_eTaker == INTERRUPT || row.m_eTaker == BUSY) {
            // Nothing of this sender's is left where a host could take it later.
            const QStringList expected = row.m_eTaker == BUSY ? QStringList{"orders.csv"} : QStringList();
            EXPECT_EQ(QDir(dir.path()).entryList({"orders.csv", ".orders.csv*"}, QDir::Files | QDir::Hidden),
                      expected);
            EXPECT_EQ(QFileInfo(strPath).size(), 0);
        }
    }
}

TEST(SendToolUsage, RefusesWhatItCannotDeliverAsWritten)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("orders.csv"));
    struct CRow
    {
        const char* m_szName;
        QStringList m_arguments;
        QByteArray m_input;
        int m_nExit;
        const char* m_szMessage;
    };
    const CRow rows[] = {
        {"path is required", {"23,0,1,600000,100,1,2,2"}, {}, 3, "--path FILE is required"},
        {"unknown option", {"--path", strPath, "--wiat"}, {}, 3, "unknown option --wiat"},
        {"lines twice", {"--path", strPath, "--file", "x.csv", "23"}, {}, 3, "not both"},
        {"until placed without wait", {"--path", strPath, "--until-placed", "23"}, {}, 3, "needs --wait"},
        {"wait not seconds", {"--path", strPath, "--wait", "1m", "23"}, {}, 3, "--wait must be a number"},
        {"input not UTF-8", {"--path", strPath}, "23,0,1,600000,100,1,2,2,,\xc4\xe3\n", 3, "not UTF-8"},
        {"outside GBK", {"--path", strPath, "23,0,1,600000,100,1,2,2,,😀"}, {}, 3, "GBK cannot hold"},
        {"only blank lines", {"--path", strPath}, "\n \r\n", 3, "no instruction lines"},
        {"missing directory",
         {"--path", dir.filePath(QStringLiteral("inbox/orders.csv")), "23"},
         {},
         1,
         "does not exist"},
        {"missing directory, waiting",
         {"--path", dir.filePath(QStringLiteral("inbox/orders.csv")), "--wait", "5", "23"},
         {},
         4,
         "does not exist"},
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        const CSendResult result = send(row.m_arguments, row.m_input);
        EXPECT_EQ(result.m_nExit, row.m_nExit);
        EXPECT_TRUE(result.m_strError.contains(QString::fromUtf8(row.m_szMessage)))
            << result.m_strError.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "nothing was written";
}

} // namespace
