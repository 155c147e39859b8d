#include "cconsoleprinter.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include <fcntl.h>
#include <unistd.h>

#include <future>

using TC::CConsolePrinter;

// The message model calls print under its lock: a reader that does not read (a pipe standing in for
// stdout) must not hold it up, and everything queued still comes out, in order, when the printer stops.
TEST(ConsolePrinter, ReaderThatDoesNotReadHoldsUpNoOneAndStopDrainsInOrder)
{
    constexpr int kLines = 20000; // about 20 times what a pipe holds
    int fds[2] = {-1, -1};
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    auto pPrinter = std::make_unique<CConsolePrinter>(fds[1]);
    std::async(std::launch::async, [&] {
        for (int i = 0; i < kLines; ++i)
            pPrinter->print(QStringLiteral("10:15:01.120 [order] line %1 of the console").arg(i));
    }).get(); // returns although nothing was read
    auto reader = std::async(std::launch::async, [&] {
        QByteArray bytes;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fds[0], buffer, sizeof(buffer))) > 0)
            bytes.append(buffer, static_cast<int>(n));
        return bytes;
    });
    pPrinter->stop();
    ::close(fds[1]);
    const QList<QByteArray> lines = reader.get().split('\n');
    ::close(fds[0]);
    ASSERT_EQ(lines.size(), kLines + 1);
    for (int i = 0; i < kLines; i += 997)
        EXPECT_EQ(lines[i], QStringLiteral("10:15:01.120 [order] line %1 of the console").arg(i).toUtf8());
    EXPECT_TRUE(lines.last().isEmpty());
    EXPECT_FALSE(pPrinter->failed());
}
