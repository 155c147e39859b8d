#include "ui/cuiresourcechangehandler.h"

#include "ui/cuiresource.h"

namespace WQ {

CUiResourceChangeHandler::CUiResourceChangeHandler()
{
    CUiResource::instance()->registerHandler(this);
}

CUiResourceChangeHandler::~CUiResourceChangeHandler()
{
    CUiResource::instance()->unregisterHandler(this);
}

} // namespace WQ
