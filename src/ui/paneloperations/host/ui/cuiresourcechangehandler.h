#pragma once

namespace WQ {

// Something styled from the host resources. Every live handler is registered with CUiResource, which
// calls it back when the theme, the fixed font or the scale changes, so that it restyles itself.
// GUI thread only.
class CUiResourceChangeHandler
{
public:
    CUiResourceChangeHandler();
    virtual ~CUiResourceChangeHandler();
    CUiResourceChangeHandler(const CUiResourceChangeHandler&) = delete;
    CUiResourceChangeHandler& operator=(const CUiResourceChangeHandler&) = delete;

    // The font family of the fixed fonts changed.
    virtual void setFixFont() {}
    // The colour theme changed.
    virtual void themeChanged() {}
    // The UI scale changed.
    virtual void scaleChanged() {}
};

} // namespace WQ
