// Compiles against the installed headers of the module and of the host layer, links the installed
// libraries and calls into both.
#include "cbatchordermanager.h"
#include "trading/corderservice.h"

#include <cstdio>

int main()
{
    // No host services are installed here, so there is neither a manager nor an order service yet.
    const bool bEmpty = TC::CBatchOrderManager::instance() == nullptr &&
                        utils::CManualSingletonT<TC::COrderService>::instance() == nullptr;
    std::puts(bEmpty ? "embedded: module and host layer loaded" : "unexpected instances");
    return bEmpty ? 0 : 1;
}
