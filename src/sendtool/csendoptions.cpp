#include "csendoptions.h"

#include <cmath>
#include <cstdlib>

namespace TC {

namespace {

const char* const kUsage =
    "usage: batchorder-send --path FILE [--file FILE] [--encoding gbk|utf8] [--busy-timeout SECONDS]\n"
    "                       [--wait SECONDS [--until-placed]] [LINE...]\n";

const char* const kHelp =
    "Hands instruction lines to a batchorder-host that watches FILE, the way a writer must: the lines\n"
    "are written to a hidden temporary file in the same directory, flushed to disk, and renamed into\n"
    "place only while no file stands at FILE, so that nothing is overwritten or read half-written.\n"
    "\n"
    "  --path FILE             the instruction file the host watches (its --watch PATH)\n"
    "  --file FILE             read the lines from FILE ('-' for standard input)\n"
    "  --encoding gbk|utf8     encoding of the file written (default gbk; utf8 adds a byte order mark)\n"
    "  --busy-timeout SECONDS  how long to wait for the path to be free (default 10)\n"
    "  --wait SECONDS          after delivering, follow the host's receipts for the lines for at most\n"
    "                          SECONDS and print one outcome per line on standard output\n"
    "  --until-placed          with --wait: order lines are done once placed, not once queued\n"
    "  LINE...                 instruction lines; without LINE and --file, standard input is read\n"
    "\n"
    "Lines are read as UTF-8; blank lines are left out, so the Nth line sent is line N of the file.\n"
    "Exit status: 0 delivered, 1 not delivered (missing directory, write error), 2 the path stayed\n"
    "busy, 3 bad usage or input.\n"
    "\n"
    "With --wait, standard output gets \"LINE STATE[ DETAIL]\" lines (UTF-8) as the receipts come:\n"
    "  N pending|cancel_sent|task_sent TEXT    accepted (TEXT: the line as the host read it)\n"
    "  N rejected REASON                       refused by the host (stale, illegal type)\n"
    "with --until-placed, for each pending line later one of:\n"
    "  N placed batch=ID | N dispatch_rejected REASON | N cleared | N unfinished REASON\n"
    "and the exit status is: 0 every line accepted (with --until-placed: every order placed, every\n"
    "cancel or task sent), 1 a line was rejected (with --until-placed also: refused when building,\n"
    "cleared or unfinished), 2 no outcome for every line within SECONDS or interrupted (a file nobody\n"
    "took is withdrawn: nothing is placed), 3 bad usage or input, 4 not delivered (busy path, missing\n"
    "directory, write error: nothing was written, sending again is safe).\n";

} // namespace

CSendOptions::EResult CSendOptions::parse(const std::vector<std::string>& arguments)
{
    auto error = [this](const std::string& strWhat) {
        m_strMessage = strWhat + "\n" + kUsage;
        return ERROR;
    };
    bool bOptionsEnd = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& strArg = arguments[i];
        if (bOptionsEnd || strArg.empty() || strArg[0] != '-' || strArg == "-") {
            m_lines.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            bOptionsEnd = true;
            continue;
        }
        if (strArg == "--help" || strArg == "-h") {
            m_strMessage = std::string(kUsage) + "\n" + kHelp;
            return HELP;
        }
        if (strArg == "--until-placed") {
            m_bUntilPlaced = true;
            continue;
        }
        if (strArg != "--path" && strArg != "--file" && strArg != "--encoding" &&
            strArg != "--busy-timeout" && strArg != "--wait")
            return error("unknown option " + strArg);
        if (i + 1 >= arguments.size())
            return error(strArg + " needs a value");
        const std::string& strValue = arguments[++i];
        if (strArg == "--path") {
            m_strPath = strValue;
        } else if (strArg == "--file") {
            m_strFile = strValue;
        } else if (strArg == "--encoding") {
            if (strValue == "gbk" || strValue == "GBK")
                m_eEncoding = ENCODING_GBK;
            else if (strValue == "utf8" || strValue == "utf-8" || strValue == "UTF-8")
                m_eEncoding = ENCODING_UTF8;
            else
                return error("--encoding must be gbk or utf8, not " + strValue);
        } else {
            char* pEnd = nullptr;
            const double dSeconds = std::strtod(strValue.c_str(), &pEnd);
            if (strValue.empty() || *pEnd != '\0' || !std::isfinite(dSeconds) || dSeconds < 0 ||
                dSeconds > 86400)
                return error(strArg + " must be a number of seconds from 0 to 86400, not " + strValue);
            const std::chrono::milliseconds duration(static_cast<long long>(std::llround(dSeconds * 1000)));
            if (strArg == "--wait") {
                m_bWait = true;
                m_wait = duration;
            } else {
                m_busyTimeout = duration;
            }
        }
    }
    if (m_bUntilPlaced && !m_bWait)
        return error("--until-placed needs --wait SECONDS");
    if (m_strPath.empty())
        return error("--path FILE is required");
    if (!m_lines.empty() && !m_strFile.empty())
        return error("give the lines either as arguments or with --file, not both");
    m_bStdin = m_strFile == "-" || (m_strFile.empty() && m_lines.empty());
    return RUN;
}

} // namespace TC
