#pragma once

#include "base/cmanualsingletont.h"
#include "trading/corderservice.h"

#include <QString>

#include <string>

namespace TC {

// The host strategy under which every order, cancel and task of the module is sent; its running state
// is the monitoring state.
constexpr int kBatchOrderStrategy = 999;

// The host's order service; null until the host installs it.
inline COrderService* orderService()
{
    return utils::CManualSingletonT<COrderService>::instance();
}

// Texts handed to host services as std::string are UTF-8.
inline std::string toUtf8(const QString& str)
{
    const QByteArray bytes = str.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace TC
