#pragma once

#include <QRgb>

#include <cstddef>

// The values behind CUiResource: one colour table per theme, and the fonts, sizes and images that all
// themes share (sizes in pixels at scale 1).
namespace WQ::resource {

struct CColorEntry
{
    const char* m_szKey;
    QRgb m_rgba; // 0xAARRGGBB
};

struct CFontEntry
{
    const char* m_szKey;
    int m_nPixelSize;
    bool m_bBold;
};

struct CSizeEntry
{
    const char* m_szKey;
    int m_nPixels;
};

enum EImageShape
{
    SHAPE_GEAR,
    SHAPE_CROSS,
    SHAPE_ARROW_LEFT,
    SHAPE_ARROW_RIGHT,
    SHAPE_ARROW_UP,
    SHAPE_ARROW_DOWN,
    SHAPE_MORE,
};

struct CImageEntry
{
    const char* m_szKey;
    EImageShape m_eShape;
    int m_nPixels;
    const char* m_szColorKey;
};

template <class T> struct CTable
{
    const T* m_pEntries;
    std::size_t m_nCount;
    const T* begin() const { return m_pEntries; }
    const T* end() const { return m_pEntries + m_nCount; }
};

CTable<CColorEntry> darkColors();
CTable<CColorEntry> lightColors();
CTable<CFontEntry> fonts();
CTable<CSizeEntry> sizes();
CTable<CImageEntry> images();

// The font family of every font, with the families Qt tries next for characters it lacks.
const char* defaultFontFamily();

} // namespace WQ::resource
