#pragma once

#include <boost/thread/thread.hpp>

#include <string>

namespace utils {

// Names a thread for debuggers, `top -H` and the log. Linux keeps at most 15 bytes of a thread name,
// so a longer name is cut there; getThreadName() still answers the full name for threads named here.
void setThreadName(boost::thread::native_handle_type thread, const std::string& strName);
void setThreadName(const std::string& strName);
std::string getThreadName();

// In-place conversion between GBK and UTF-8. Bytes that are not valid in the source encoding become
// U+FFFD (or '?' in GBK) instead of failing, so a damaged text still gets through readable.
void safeGbk2Utf8(std::string& str);
void safeUtf82Gbk(std::string& str);

// Makes the process's text encoding UTF-8 whatever locale it was started in: the C library's (log4cxx
// converts and writes log text through it) and Qt's local 8-bit codec (file names, arguments, console
// output). The rest of the locale is the C locale, so nothing the host prints or parses follows LANG.
// Call it first thing and again once the application object exists: that object re-reads the locale
// from the environment.
void useUtf8Locale();

// The text with its control characters (C0 but the tab, DEL, C1) written as "\xNN", so that a text from
// outside cannot move the cursor, recolour or retitle a terminal it is printed on. UTF-8 in and out;
// every other byte passes unchanged.
std::string escapeControlChars(const std::string& strUtf8);

// Milliseconds on a monotonic clock (never jumps with the wall clock), as a double.
double clockMSec();

} // namespace utils
