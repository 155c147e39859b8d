#include "base/utils.h"

#include <QTextCodec>

#include <boost/thread/mutex.hpp>

#include <chrono>
#include <clocale>
#include <map>

#include <pthread.h>

namespace utils {

namespace {

// Full names of the threads named here; the kernel keeps only 15 bytes.
boost::mutex g_namesMutex;
std::map<pthread_t, std::string> g_names;

QTextCodec* gbkCodec()
{
    static QTextCodec* s_pCodec = QTextCodec::codecForName("GBK");
    return s_pCodec;
}

} // namespace

void setThreadName(boost::thread::native_handle_type thread, const std::string& strName)
{
    {
        boost::mutex::scoped_lock lock(g_namesMutex);
        g_names[thread] = strName;
    }
    pthread_setname_np(thread, strName.substr(0, 15).c_str());
}

void setThreadName(const std::string& strName)
{
    setThreadName(pthread_self(), strName);
}

std::string getThreadName()
{
    {
        boost::mutex::scoped_lock lock(g_namesMutex);
        auto it = g_names.find(pthread_self());
        if (it != g_names.end())
            return it->second;
    }
    char szName[16] = {};
    pthread_getname_np(pthread_self(), szName, sizeof(szName));
    return szName;
}

void safeGbk2Utf8(std::string& str)
{
    QTextCodec* pCodec = gbkCodec();
    if (!pCodec || str.empty())
        return;
    str = pCodec->toUnicode(str.data(), static_cast<int>(str.size())).toUtf8().toStdString();
}

void safeUtf82Gbk(std::string& str)
{
    QTextCodec* pCodec = gbkCodec();
    if (!pCodec || str.empty())
        return;
    str = pCodec->fromUnicode(QString::fromUtf8(str.data(), static_cast<int>(str.size()))).toStdString();
}

void useUtf8Locale()
{
    // C.UTF-8 is built into the C library from glibc 2.35 on; older systems may only have a named one.
    if (!std::setlocale(LC_ALL, "C.UTF-8") && std::setlocale(LC_ALL, "C"))
        std::setlocale(LC_CTYPE, "en_US.UTF-8");
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

std::string escapeControlChars(const std::string& strUtf8)
{
    static const char s_szHex[] = "0123456789abcdef";
    auto isControl = [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; };
    // C1 controls (U+0080 to U+009F) are 0xC2 0x80 to 0xC2 0x9F in UTF-8.
    auto isC1 = [&](size_t i) {
        return static_cast<unsigned char>(strUtf8[i]) == 0xc2 && i + 1 < strUtf8.size() &&
               static_cast<unsigned char>(strUtf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(strUtf8[i + 1]) <= 0x9f;
    };
    std::string strResult;
    strResult.reserve(strUtf8.size());
    for (size_t i = 0; i < strUtf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(strUtf8[i]);
        if (isC1(i))
            c = static_cast<unsigned char>(strUtf8[++i]);
        else if (!isControl(c)) {
            strResult += static_cast<char>(c);
            continue;
        }
        strResult += "\\x";
        strResult += s_szHex[c >> 4];
        strResult += s_szHex[c & 0xf];
    }
    return strResult;
}

double clockMSec()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

} // namespace utils
