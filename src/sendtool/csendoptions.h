#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace TC {

// Command line of batchorder-send. Arguments stay bytes: paths go to the system as given, and the
// instruction lines are checked as UTF-8 when they are read.
class CSendOptions
{
public:
    enum EResult
    {
        RUN,   // options are fine
        HELP,  // --help was given; m_strMessage holds the help text
        ERROR, // m_strMessage says what is wrong
    };
    enum EEncoding
    {
        ENCODING_GBK,  // what the reader expects by default
        ENCODING_UTF8, // written with a byte order mark, which makes the reader decode UTF-8
    };

    // Parses the arguments (argv[0] first).
    EResult parse(const std::vector<std::string>& arguments);

    std::string m_strPath;            // the instruction file path the host watches
    std::vector<std::string> m_lines; // instruction lines given as arguments
    std::string m_strFile;            // --file: read the lines from this file ("-": standard input)
    bool m_bStdin = false;            // read the lines from standard input
    EEncoding m_eEncoding = ENCODING_GBK;
    std::chrono::milliseconds m_busyTimeout{10000};
    bool m_bWait = false;                // --wait: follow the host's receipts for the lines sent
    std::chrono::milliseconds m_wait{0}; // how long to follow them
    bool m_bUntilPlaced = false;         // --until-placed: order lines are done once placed
    std::string m_strMessage;
};

} // namespace TC
