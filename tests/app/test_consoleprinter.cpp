#include "cconsoleprinter.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include <fcntl.h>
#include <unistd.h>

#include <future>

using TC::CConsolePrinter;

namespace {

// A pipe standing in for stdout; nobody reads it until the test does.
class ConsolePrinterTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(::pipe2(m_fds, O_CLOEXEC), 0); }
    void TearDown() override
    {
        for (int& nFd : m_fds)
            if (nFd >= 0)
                ::close(nFd);
    }
    // Reads until the writer's end is closed.
    QByteArray readAll()
    {
        QByteArray bytes;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(m_fds[0], buffer, sizeof(buffer))) > 0)
            bytes.append(buffer, static_cast<int>(n));
        return bytes;
    }

    int m_fds[2] = {-1, -1};
};

} // namespace

// The message model calls print under its lock: a reader that does not read must not hold it up, and
// everything queued still comes out, in order, when the printer stops.
TEST_F(ConsolePrinterTest, ReaderThatDoesNotReadHoldsUpNoOneAndStopDrainsInOrder)
{
    constexpr int kLines = 20000; // about 20 times what a pipe holds
    auto pPrinter = std::make_unique<CConsolePrinter>(m_fds[1]);
    auto printed = std::async(std::launch::async, [&] {
        for (int i = 0; i < kLines; ++i)
            pPrinter->print(QStringLiteral("10:15:01.120 [order] line %1 of the console").arg(i));
    });
    printed.get(); // returns although nothing was read
    auto reader = std::async(std::launch::async, [this] { return readAll(); });
    pPrinter->stop();
    ::close(m_fds[1]);
    m_fds[1] = -1;
    const QList<QByteArray> lines = reader.get().split('\n');
    ASSERT_EQ(lines.size(), kLines + 1);
    for (int i = 0; i < kLines; i += 997)
        EXPECT_EQ(lines[i], QStringLiteral("10:15:01.120 [order] line %1 of the console").arg(i).toUtf8());
    EXPECT_TRUE(lines.last().isEmpty());
    EXPECT_FALSE(pPrinter->failed());
}
