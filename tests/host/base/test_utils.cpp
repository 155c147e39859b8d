#include "base/utils.h"
#include "ui/wqconvert.h"

#include <gtest/gtest.h>

#include <QTextCodec>

#include <future>

TEST(Utils, GbkAndUtf8RoundTripChinese)
{
    const std::string strUtf8 = "浦发银行,600000,参数非法";
    std::string str = strUtf8;
    utils::safeUtf82Gbk(str);
    EXPECT_NE(str, strUtf8);
    EXPECT_EQ(str, QTextCodec::codecForName("GBK")->fromUnicode(QString::fromStdString(strUtf8)).toStdString());
    utils::safeGbk2Utf8(str);
    EXPECT_EQ(str, strUtf8);
}

TEST(Utils, InvalidBytesSurviveConversion)
{
    // A lone lead byte and a byte that GBK never uses: the rest of the text must come through.
    std::string str = std::string("ok ") + char(0x81) + " end " + char(0xFF);
    utils::safeGbk2Utf8(str);
    const QString strText = QString::fromUtf8(str.c_str());
    EXPECT_TRUE(strText.startsWith(QStringLiteral("ok ")));
    EXPECT_TRUE(strText.contains(QStringLiteral(" end ")));

    std::string strBadUtf8 = std::string("a") + char(0xC3) + "b";
    utils::safeUtf82Gbk(strBadUtf8);
    EXPECT_EQ(strBadUtf8.front(), 'a');
    EXPECT_EQ(strBadUtf8.back(), 'b');

    EXPECT_EQ(WQ::sToQs(std::string("x") + char(0xFF)).at(1), QChar(0xFFFD));
}

TEST(Utils, ThreadNameKeepsTheFullNameAndTheKernelGetsFifteenBytes)
{
    std::promise<std::pair<std::string, std::string>> names;
    boost::thread thread([&names] {
        utils::setThreadName("batch_order_read_thread");
        char szKernel[32] = {};
        pthread_getname_np(pthread_self(), szKernel, sizeof(szKernel));
        names.set_value({utils::getThreadName(), szKernel});
    });
    const auto result = names.get_future().get();
    thread.join();
    EXPECT_EQ(result.first, "batch_order_read_thread");
    EXPECT_EQ(result.second, "batch_order_rea");
}

// What reaches a terminal from an instruction file: every control character becomes visible text, the
// rest (tabs, Chinese, other multi-byte characters) stays as it was.
TEST(Utils, ControlCharactersAreEscapedForTheTerminal)
{
    const std::pair<std::string, std::string> rows[] = {
        {"plain 浦发银行\tok", "plain 浦发银行\tok"},
        {"red \x1b[31mX\x1b[0m", "red \\x1b[31mX\\x1b[0m"},
        {"bell\a nul" + std::string(1, '\0') + " del\x7f", "bell\\x07 nul\\x00 del\\x7f"},
        {"line\r\nforged", "line\\x0d\\x0aforged"},
        {"csi \xc2\x9b"
         "2J, nbsp \xc2\xa0",
         "csi \\x9b2J, nbsp \xc2\xa0"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const auto& [strIn, strOut] : rows)
        EXPECT_EQ(utils::escapeControlChars(strIn), strOut) << strIn;
}
