#pragma once

#include <QString>
#include <QVector>

namespace TC {

// One KEY=value pair of a trading parameter text.
struct CAlgoParamPair
{
    QString m_strKey; // upper case
    QString m_strValue;
};

// What a parameter key may hold.
enum EAlgoParamKind
{
    ALGO_PARAM_TEXT,    // anything
    ALGO_PARAM_CODE,    // an integer (a price-type code, an index); at least 0
    ALGO_PARAM_COUNT,   // an integer of at least 1
    ALGO_PARAM_PRICE,   // a finite number above 0
    ALGO_PARAM_PERCENT, // a number above 0 and at most 100
    ALGO_PARAM_TIME,    // a time of day as HHmmss
    ALGO_PARAM_FLAG,    // "0" or "1"
};

// A key a parameter text may carry.
struct CAlgoParamRule
{
    const char* m_szKey;
    EAlgoParamKind m_eKind;
    bool m_bRequired;
};

// Parameter texts of algorithm orders: the host's own algorithms (TWAP 24, VWAP 26, iceberg 107,
// follow 108) and third-party algorithms (13). Reads KEY=value pairs, checks them against the keys of
// the algorithm, and gives the canonical text the order service stores. Pure; any thread. Every check
// writes strError only to refuse: a reason the caller already holds is never erased.
class COrderServiceAlgoParam
{
public:
    // The canonical text "ALG+KEY=value+KEY=value..." (pairs in the order written), or "" with a reason
    // in strError. Order types other than 13, 24, 26, 107 and 108 are refused.
    static QString parser(int nOrderType, const QString& strText, QString& strError);

    // Splits a text of pairs separated by "," or "+". Blanks around keys and values are dropped and empty
    // items skipped; keys are upper-cased, and so is the value of SFMC (the algorithm name). Refuses, with
    // a reason, an item without exactly one "=", an empty key, a key of other characters than A-Z, 0-9
    // and "_", an empty value, and a key given twice.
    static bool readPairs(const QString& strText, QVector<CAlgoParamPair>& pairs, QString& strError);
    // Checks each pair against the rules: its value must fit the kind of its key, every required key must
    // be present, and a key without a rule is refused unless bPassUnknown.
    static bool checkPairs(const QVector<CAlgoParamPair>& pairs, const CAlgoParamRule* pRules, int nRules,
                           bool bPassUnknown, QString& strError);
    // The checks of a third-party algorithm's parameters (order type 13): SFMC is required, the keys the
    // host reads must be well formed (BJFS, ZDJ, DDLX, XJJG, ZDCLBD, SBLX), XJJG is required when DDLX is
    // "1", and every other key is the provider's and passes unchecked.
    static bool checkProviderPairs(const QVector<CAlgoParamPair>& pairs, QString& strError);
    // The value of a key, or "" when absent.
    // A fixed price type (BJFS) takes its price from ZDJ; false with a reason when ZDJ is missing.
    static bool checkFixedPriceHasPrice(const QVector<CAlgoParamPair>& pairs, QString& strError);
    static QString value(const QVector<CAlgoParamPair>& pairs, const QString& strKey);
    // strTag + "+" + the pairs as KEY=value joined with "+".
    static QString joinPairs(const QString& strTag, const QVector<CAlgoParamPair>& pairs);
};

} // namespace TC
