#pragma once

#include "csendoptions.h"

#include <QString>

#include <string>
#include <vector>

namespace TC {

class CInstructionFileWriter;
class CInstructionText;
class CLineOutcomes;
class CReceiptFollower;

// batchorder-send: collects the instruction lines, encodes them and delivers them as one instruction
// file; with --wait it then follows the host's receipts for them. Messages go to standard error, the
// lines' outcomes to standard output.
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
    // With --wait.
    enum EWaitExit
    {
        EXIT_ACCEPTED = 0,      // every line reached the goal
        EXIT_REJECTED = 1,      // every line has an outcome, and one failed
        EXIT_NO_OUTCOME = 2,    // the wait ended first (time, signal), or the file was withdrawn
        EXIT_NOT_DELIVERED = 4, // busy path, missing directory, write error: nothing stands at the path
    };

    int run(const std::vector<std::string>& arguments);

private:
    bool collect(CInstructionText& text);
    int deliver(const QByteArray& bytes, CInstructionFileWriter& writer, CReceiptFollower& follower);
    int follow(CInstructionFileWriter& writer, CReceiptFollower& follower, int nLines);
    // Says what is known when the wait ends before every line has its outcome.
    void reportNoOutcome(CInstructionFileWriter& writer, const CReceiptFollower& follower,
                         const CLineOutcomes& outcomes, bool bTaken, bool bInterrupted);
    // One outcome line on standard output.
    void print(const QString& strLine);
    void report(const QString& strMessage) const;

    CSendOptions m_options;
    bool m_bOutputLost = false;
};

} // namespace TC
