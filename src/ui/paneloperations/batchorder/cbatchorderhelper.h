#pragma once

#include "trading/corderparam.h"

#include <boost/shared_ptr.hpp>

#include <QString>
#include <QVector>

namespace TC {

class CBatchOrderData;

// Turns pending instruction records into host order parameters at dispatch time: validates each record
// by its order type, resolves its account, fills prices and algorithm fields, or rejects it with a
// reason shown on the console. Stateless; called with the manager's mutex held.
class CBatchOrderHelper
{
public:
    void buildOrderParam(const boost::shared_ptr<CBatchOrderData>& pData, QVector<COrderParam>& orders);
    bool resolveAccount(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                        QString& strError);
    void readBasketFile(COrderParam& orderParam, const COrderSingleParam& pattern, const QString& strPath);

private:
    // Group paths; each writes its reason into strError and stops at the first failure.
    void buildGroupA(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                     COrderSingleParam& single, QString& strError);
    void buildGroupB(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                     COrderSingleParam& single, QString& strError);
    void buildGroupD(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                     COrderSingleParam& single, QString& strError);
    void buildGroupE(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                     COrderSingleParam& single, QString& strError);
    void buildGroupG(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                     COrderSingleParam& single, QString& strError);
    // Returns the SBLX item it took out of TRADEPARAM, for the finishing step.
    QString buildGeneral(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                         COrderSingleParam& single, QString& strError);
    void finish(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                const QString& strSblx);

    // The four steps that read PRICE_TYPE, MODE_PRICE, TRADEPARAM and EXTRAPARAM.
    // True only for the special price type code 9003; false is not by itself a failure.
    bool checkModelPrice(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                         COrderSingleParam& single, QString& strError);
    void parseZdcl(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam);
    bool parsePriceType(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                        COrderSingleParam& single, QString& strError);
    void parseHedgeFlag(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam);
};

} // namespace TC
