#include "trading/calgorithmtradehelper.h"

#include "config/cuserconfig.h"
#include "trading/regxmatch.h"
#include "trading/tradetypes.h"

namespace TC {

QString CAlgorithmTradeHelper::get3rdAlgoTypeByDbfParam(const QString& strParam, int nOrderType)
{
    if (nOrderType == ttservice::OTP_ALGO_PROVIDER)
    {
        // Neither separator can be part of a value, so both may separate pairs.
        QString strText = strParam;
        strText.replace(QLatin1Char(','), QLatin1Char('+'));
        return regxMatchStr(QStringLiteral("SFMC="), QStringLiteral("+"), strText);
    }
    if (const CUserConfig* pConfig = getUserConfig())
    {
        for (const boost::shared_ptr<CDbfAlgoParam>& pSetting : pConfig->getDbfAlgoParams())
        {
            if (pSetting->m_nOrderType == nOrderType)
            {
                return pSetting->m_strName;
            }
        }
    }
    return QString();
}

} // namespace TC
