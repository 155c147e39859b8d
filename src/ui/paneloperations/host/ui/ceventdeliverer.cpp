#include "ui/ceventdeliverer.h"

#include <QObject>

namespace WQ {

namespace {

CEventDeliverer* findDeliverer(QObject* pObject, QObject** ppOwner)
{
    for (QObject* p = pObject; p; p = p->parent()) {
        if (auto* pDeliverer = dynamic_cast<CEventDeliverer*>(p)) {
            *ppOwner = p;
            return pDeliverer;
        }
    }
    *ppOwner = nullptr;
    return nullptr;
}

} // namespace

CEventDeliverer* castEventDeliverer(QObject* pObject)
{
    QObject* pOwner = nullptr;
    return findDeliverer(pObject, &pOwner);
}

CEventDeliverer::CEventDeliverer(QObject* pParent)
{
    resetParentDeliverer(pParent);
}

CEventDeliverer::~CEventDeliverer() = default;

bool CEventDeliverer::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    return deliverEvent(nType, nId, nParam, strText, pData);
}

bool CEventDeliverer::deliverEvent(int nType, int nId, int nParam, const QString& strText, void* pData)
{
    CEventDeliverer* pParent = parentDeliverer();
    return pParent && pParent->handleEvent(nType, nId, nParam, strText, pData);
}

CEventDeliverer* CEventDeliverer::parentDeliverer() const
{
    return m_pParentObject ? m_pParentDeliverer : nullptr;
}

void CEventDeliverer::resetParentDeliverer(QObject* pParent)
{
    QObject* pOwner = nullptr;
    m_pParentDeliverer = findDeliverer(pParent, &pOwner);
    m_pParentObject = pOwner;
}

} // namespace WQ
