#pragma once

#include <QString>

namespace TC {

// Names the algorithm an algorithm order runs. Pure lookups; any thread.
class CAlgorithmTradeHelper
{
public:
    // For a third-party algorithm order (order type 13): the value of SFMC in the parameter text (pairs
    // separated by "+" as the order service stores them, or by ","), "" when absent. For the host's own
    // algorithms (24, 26, 107, 108 and any order type of the profile's algorithm settings): the name of
    // the first algorithm setting of that order type. "" otherwise.
    static QString get3rdAlgoTypeByDbfParam(const QString& strParam, int nOrderType);
};

} // namespace TC
