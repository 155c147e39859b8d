#include "cbatchorderlinesplitter.h"

#include <gtest/gtest.h>

#include <QRegExp>

#include <random>

using TC::CBatchOrderLineSplitter;

namespace {

// The column separator every instruction writer has relied on: a comma followed by an even number of
// double quotes up to the end of the line. The splitter must agree with it on every input.
QStringList regExpSplit(const QString& strLine)
{
    return strLine.split(QRegExp(QStringLiteral(",(?=([^\"]*\"[^\"]*\")*[^\"]*$)")), Qt::KeepEmptyParts);
}

// The cases writers rely on, each also held against the reference separator.
TEST(CLineSplitterTest, GivesTheColumnsOfTheLine)
{
    const struct
    {
        const char* m_szName;
        QString m_strLine;
        QStringList m_expected;
    } rows[] = {{"PlainColumns", "1,2,3", {"1", "2", "3"}},
                {"QuotedCommaStaysInItsFieldWithQuotes", "a,\"b,c\",d", {"a", "\"b,c\"", "d"}},
                {"LoneQuoteJoinsTheColumnsBeforeIt", "a,b,\"c,d", {"a,b,\"c", "d"}},
                {"EmptyFieldsAreKept", ",a,,", {"", "a", "", ""}},
                {"EmptyLineIsOneEmptyField", "", {""}},
                {"OnlyQuotesIsOneField", "\"\"\"", {"\"\"\""}},
                {"QuotedCommaOnlyIsOneFieldThenEmpty", "\",\",", {"\",\"", ""}},
                {"BlanksAreNotTrimmed", " a , b ", {" a ", " b "}},
                {"OddQuoteCountEachCommaByQuotesBehindIt", "\"a,\"b,\"c,d", {"\"a", "\"b,\"c", "d"}},
                {"ChineseTextSplits",
                 QStringLiteral("买入,备注,\"甲,乙\""),
                 {QStringLiteral("买入"), QStringLiteral("备注"), QStringLiteral("\"甲,乙\"")}}};
    for (const auto& row : rows) {
        EXPECT_EQ(CBatchOrderLineSplitter::split(row.m_strLine), row.m_expected) << row.m_szName;
        EXPECT_EQ(regExpSplit(row.m_strLine), row.m_expected) << row.m_szName;
    }
}

// 100,000 generated lines over the characters that matter to the separator rule. The generator is
// spelled out (no standard distribution) so that a reported failing line reproduces on any library.
TEST(CLineSplitterTest, AgreesWithTheRegularExpressionOnGeneratedLines)
{
    static const char s_alphabet[] = {'a', 'b', 'Z', ',', '"', ' '};
    std::mt19937 rng(20240105u);
    for (int nLine = 0; nLine < 120000; ++nLine) {
        const int nLength = static_cast<int>(rng() % 61u);
        QString strLine;
        strLine.reserve(nLength);
        for (int i = 0; i < nLength; ++i)
            strLine.append(QLatin1Char(s_alphabet[rng() % sizeof(s_alphabet)]));
        ASSERT_EQ(CBatchOrderLineSplitter::split(strLine), regExpSplit(strLine))
            << "first mismatch at generated line " << nLine << ": [" << strLine.toStdString() << "]";
    }
}

// Lines far beyond the reference expression's reach (its lookahead rescans the tail after every comma),
// so the expected columns are built alongside the line instead.
TEST(CLineSplitterTest, SplitsHugeLinesIntoTheirColumns)
{
    QStringList wideColumns;
    for (int i = 0; i < 10000; ++i)
        wideColumns << QString::number(i);
    EXPECT_EQ(CBatchOrderLineSplitter::split(wideColumns.join(QLatin1Char(','))), wideColumns);

    const QString strQuotes(1 << 20, QLatin1Char('"'));
    EXPECT_EQ(CBatchOrderLineSplitter::split(strQuotes), QStringList{strQuotes});

    // 1 MB of quoted commas: every column is one quoted pair, the commas inside never separate.
    QStringList quotedColumns;
    for (int i = 0; i < (1 << 20) / 8; ++i)
        quotedColumns << QStringLiteral("\"x,y\"");
    EXPECT_EQ(CBatchOrderLineSplitter::split(quotedColumns.join(QLatin1Char(','))), quotedColumns);
}

} // namespace
