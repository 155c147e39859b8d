#include "cbatchorderlinesplitter.h"

#include <gtest/gtest.h>

#include <QRegExp>

#include <random>
#include <utility>

using TC::CBatchOrderLineSplitter;

namespace {

// The separator writers rely on: a comma with an even number of double quotes after it on the line.
QStringList regExpSplit(const QString& strLine)
{
    return strLine.split(QRegExp(QStringLiteral(",(?=([^\"]*\"[^\"]*\")*[^\"]*$)")), Qt::KeepEmptyParts);
}

// The cases writers rely on; the reference separator must agree with each row too.
TEST(CLineSplitterTest, GivesTheColumnsOfTheLine)
{
    const struct
    {
        const char* m_szName;
        QString m_strLine;
        QStringList m_expected;
    } rows[] = {{"QuotedCommaStaysInItsFieldWithQuotes", "a,\"b,c\",d", {"a", "\"b,c\"", "d"}},
                {"LoneQuoteJoinsTheColumnsBeforeIt", "a,b,\"c,d", {"a,b,\"c", "d"}},
                {"EmptyFieldsAndBlanksAreKept", ", a ,,", {"", " a ", "", ""}},
                {"EmptyLineIsOneEmptyField", "", {""}},
                {"OddQuoteCountEachCommaByQuotesBehindIt", "\"a,\"b,\"c,d", {"\"a", "\"b,\"c", "d"}},
                {"ChineseTextSplits",
                 QStringLiteral("买入,\"甲,乙\""),
                 {QStringLiteral("买入"), QStringLiteral("\"甲,乙\"")}}};
    for (const auto& row : rows) {
        EXPECT_EQ(CBatchOrderLineSplitter::split(row.m_strLine), row.m_expected) << row.m_szName;
        EXPECT_EQ(regExpSplit(row.m_strLine), row.m_expected) << row.m_szName;
    }
}

// Generated lines over the characters that matter to the rule. The generator is spelled out (no standard
// distribution) so that a reported failing line reproduces on any library.
TEST(CLineSplitterTest, AgreesWithTheRegularExpressionOnGeneratedLines)
{
    static const char s_alphabet[] = {'a', 'Z', ',', '"', ' '};
    std::mt19937 rng(20240105u);
    for (int nLine = 0; nLine < 120000; ++nLine) {
        QString strLine;
        for (int i = static_cast<int>(rng() % 61u); i > 0; --i)
            strLine.append(QLatin1Char(s_alphabet[rng() % sizeof(s_alphabet)]));
        ASSERT_EQ(CBatchOrderLineSplitter::split(strLine), regExpSplit(strLine))
            << "generated line " << nLine << ": [" << strLine.toStdString() << "]";
    }
}

// Lines beyond the reference's reach (it rescans the tail after every comma): 10,000 plain columns and
// 1 MB of quoted commas that never separate.
TEST(CLineSplitterTest, SplitsHugeLinesIntoTheirColumns)
{
    for (const auto& [nColumns, strColumn] :
         {std::pair(10000, QStringLiteral("1234")), std::pair((1 << 20) / 8, QStringLiteral("\"x,y\""))}) {
        QStringList columns;
        for (int i = 0; i < nColumns; ++i)
            columns << strColumn;
        EXPECT_EQ(CBatchOrderLineSplitter::split(columns.join(QLatin1Char(','))), columns);
    }
}

} // namespace
