#pragma once

#include "base/csingletont.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QString>

#include <vector>

namespace WQ {

class CUiResourceChangeHandler;

// The host's UI resources: colours, fonts, sizes and images by key ("clr_", "fnt_", "tc_fnt_",
// "tc_siz_", "tc_img_"). Colours come from the table of the current theme; fonts, sizes and images
// follow the UI scale. Switching the theme, the font family or the scale restyles every live
// CUiResourceChangeHandler. A key without a value gives a loud fallback (magenta, 12 px) and a warning,
// so that a missing entry shows on screen instead of passing unnoticed. GUI thread only.
class CUiResource
{
public:
    enum ETheme
    {
        THEME_DARK = 0,
        THEME_LIGHT = 1,
    };

    CUiResource();
    CUiResource(const CUiResource&) = delete;
    CUiResource& operator=(const CUiResource&) = delete;

    // The process-wide resources (utils::CSingletonT<CUiResource>).
    static CUiResource* instance();

    // The reference stays valid for the life of the process; it keeps the colour of the theme that was
    // current when it was asked for.
    const QColor& getColor(const QString& strKey) const;
    // The colour as a style sheet value: "#rrggbb", or "rgba(r, g, b, a)" when not opaque.
    QString getColorSheetByKey(const QString& strKey) const;
    QFont getFont(const QString& strKey) const;
    int getSize(const QString& strKey) const;
    QPixmap getImage(const QString& strKey) const;
    // True when the key has a value (in every theme, for colours).
    bool contains(const QString& strKey) const;

    ETheme theme() const { return m_eTheme; }
    void setTheme(ETheme eTheme);
    double scale() const { return m_dScale; }
    // Factor applied to every size, font size and image; clamped to 0.5 ... 4.
    void setScale(double dScale);
    QString fontFamily() const { return m_strFontFamily; }
    void setFontFamily(const QString& strFamily);

    void registerHandler(CUiResourceChangeHandler* pHandler);
    void unregisterHandler(CUiResourceChangeHandler* pHandler);

private:
    using CNotify = void (CUiResourceChangeHandler::*)();
    void notifyHandlers(CNotify pfnNotify);
    int scaled(int nValue) const;

    ETheme m_eTheme = THEME_DARK;
    double m_dScale = 1.0;
    QString m_strFontFamily;
    // One colour table per theme, built once and never changed, so references into them stay valid.
    QHash<QString, QColor> m_colors[2];
    mutable QHash<QString, QPixmap> m_imageCache; // for the current theme and scale
    std::vector<CUiResourceChangeHandler*> m_handlers;
};

} // namespace WQ

template <> WQ::CUiResource* utils::CSingletonT<WQ::CUiResource>::instance();
