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

// The text with its control characters (C0 but the tab, DEL, C1) written as "\xNN", so that a text from
// outside cannot move the cursor, recolour or retitle a terminal it is printed on. UTF-8 in and out;
// every other byte passes unchanged.
std::string escapeControlChars(const std::string& strUtf8);

// Milliseconds on a monotonic clock (never jumps with the wall clock), as a double.
double clockMSec();

} // namespace utils
