#pragma once

#include "ui/cuiresourcechangehandler.h"

namespace WQ {

// A resource change handler for controls that answer every change alike: each one calls restyle(),
// which takes fonts, colours and sizes from the resources again.
class CUiRestyler : public CUiResourceChangeHandler
{
public:
    void setFixFont() override { restyle(); }
    void themeChanged() override { restyle(); }
    void scaleChanged() override { restyle(); }

protected:
    virtual void restyle() = 0;
};

} // namespace WQ
