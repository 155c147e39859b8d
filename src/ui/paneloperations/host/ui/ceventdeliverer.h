#pragma once

#include <QPointer>
#include <QString>

class QObject;

namespace WQ {

class CEventDeliverer;

// The nearest event deliverer among pObject and its ancestors; null when there is none.
CEventDeliverer* castEventDeliverer(QObject* pObject);

// Routes control events up the widget tree. A control delivers its events to its parent deliverer (the
// nearest enclosing panel, dialog or container); a deliverer that does not handle an event passes it on
// to its own parent, so an event travels up until someone handles it. GUI thread only.
class CEventDeliverer
{
public:
    // The parent deliverer is castEventDeliverer(pParent).
    explicit CEventDeliverer(QObject* pParent = nullptr);
    virtual ~CEventDeliverer();

    // Handles one event; true when handled. The base passes the event on to the parent deliverer.
    virtual bool handleEvent(int nType, int nId, int nParam, QString strText, void* pData);

    // Hands an event to the parent deliverer; false when there is none or it did not handle it.
    bool deliverEvent(int nType, int nId, int nParam, const QString& strText, void* pData);

    // Null once the parent deliverer's object is destroyed.
    CEventDeliverer* parentDeliverer() const;

protected:
    // Looks the parent deliverer up again from pParent (after the widget moved in the tree).
    void resetParentDeliverer(QObject* pParent);

private:
    CEventDeliverer* m_pParentDeliverer = nullptr;
    QPointer<QObject> m_pParentObject; // the object that is m_pParentDeliverer
};

} // namespace WQ
