#pragma once

#include "csendoptions.h"

#include <QString>

#include <string>
#include <vector>

namespace TC {

class CInstructionText;

// batchorder-send: collects the instruction lines, encodes them and delivers them as one instruction
// file. Each step is its own operation so that a later one (following the host's receipts for the
// delivered file) slots in after delivery. Messages go to standard error.
class CSendTool
{
public:
    enum EExit
    {
        EXIT_DELIVERED = 0,
        EXIT_FAILED = 1, // not delivered: missing directory, write error, interruption
        EXIT_BUSY = 2,   // the path stayed taken for the whole --busy-timeout
        EXIT_USAGE = 3,  // bad options or input
    };

    int run(const std::vector<std::string>& arguments);

private:
    bool collect(CInstructionText& text);
    int deliver(const CInstructionText& text);
    void report(const QString& strMessage) const;

    CSendOptions m_options;
};

} // namespace TC
