// The bytes a program sends on the host's local socket, cut into reads, through the socket's framing
// and on into the manager's shortcut intake, as the host's connection handler does. The verdict must
// not depend on how the bytes were cut. Input: one byte for the size limit, one for the cutting, then
// the bytes sent.
#include "common/cfuzzhost.h"

#include "cshortcuttextframer.h"

#include "cbatchordermanager.h"

#include "base/crpcengine.h"

#include <QDate>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <future>

namespace {

void drainStrand()
{
    std::promise<void> done;
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder")->post([&done] {
        done.set_value();
    });
    done.get_future().wait();
}

// A manager of its own for each text, gone before the input ends: whatever the intake keeps is freed
// within the input, so the fuzzer's leak check sees real leaks and not the manager's growing lists.
class CManagerScope
{
public:
    CManagerScope() { TC::CBatchOrderManager::initInstance(nullptr); }
    ~CManagerScope()
    {
        delete TC::CBatchOrderManager::instance();
        TC::CBatchOrderManager::m_pInstance = nullptr;
        QFile::remove(backupPath());
    }
    CManagerScope(const CManagerScope&) = delete;
    CManagerScope& operator=(const CManagerScope&) = delete;

    TC::CBatchOrderManager* operator->() const { return TC::CBatchOrderManager::instance(); }

private:
    static QString backupPath()
    {
        return CFuzzHost::instance().scratchPath(
            QStringLiteral("batchorder/batchOrder_back_%1.csv")
                .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pBytes, size_t nSize)
{
    CFuzzHost::instance();
    if (nSize < 2)
        return 0;
    // Small limits, so that the boundary is in reach of short inputs.
    const qint64 nMaxBytes = pBytes[0];
    uint32_t nCut = pBytes[1] | 1u;
    const QByteArray sent(reinterpret_cast<const char*>(pBytes + 2), static_cast<int>(nSize - 2));

    TC::CShortcutTextFramer whole(nMaxBytes);
    whole.append(sent);

    TC::CShortcutTextFramer framer(nMaxBytes);
    int nDecided = 0;
    for (int nPos = 0; nPos < sent.size();) {
        // A small linear congruential sequence gives reads of 1 to 16 bytes.
        nCut = nCut * 1103515245u + 12345u;
        const int nRead = 1 + static_cast<int>((nCut >> 16) % 16);
        if (framer.append(sent.mid(nPos, nRead)))
            ++nDecided;
        nPos += nRead;
    }
    FUZZ_CHECK(nDecided <= 1, "a request is decided once");
    FUZZ_CHECK(framer.state() == whole.state() && framer.text() == whole.text(),
               "the verdict does not depend on how the bytes were read");
    FUZZ_CHECK(framer.state() != TC::CShortcutTextFramer::INCOMPLETE || sent.size() <= nMaxBytes,
               "no more than the limit is held");

    if (framer.state() == TC::CShortcutTextFramer::COMPLETE) {
        CManagerScope manager;
        if (manager->shortcutOrder(framer.text()))
            drainStrand();
    }
    return 0;
}
