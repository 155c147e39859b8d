#include "ui/cuiresource.h"

#include "ui/cuiresourcechangehandler.h"
#include "ui/uiresourcetables.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QtMath>

#include <algorithm>
#include <cmath>

template <> WQ::CUiResource* utils::CSingletonT<WQ::CUiResource>::instance()
{
    // Never destroyed: widgets that outlive static destruction may still unregister from it.
    static WQ::CUiResource* s_pResource = new WQ::CUiResource();
    return s_pResource;
}

namespace WQ {

namespace {

const QColor s_missingColor(0xFF, 0x00, 0xFF);
const int kMissingPixels = 12;

void warnMissing(const QString& strKey)
{
    static QSet<QString> s_warned;
    if (!s_warned.contains(strKey)) {
        s_warned.insert(strKey);
        qWarning("UI resource \"%s\" has no value", qPrintable(strKey));
    }
}

template <class Entry> const Entry* findEntry(const resource::CTable<Entry>& entries, const QString& strKey)
{
    for (const Entry& entry : entries) {
        if (strKey == QLatin1String(entry.m_szKey)) {
            return &entry;
        }
    }
    return nullptr;
}

QPixmap drawShape(resource::EImageShape eShape, int nPixels, const QColor& color)
{
    QPixmap pixmap(nPixels, nPixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal dSize = nPixels;
    const QPointF centre(dSize / 2, dSize / 2);
    QPen pen(color, std::max<qreal>(1.0, dSize / 10));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    switch (eShape) {
    case resource::SHAPE_GEAR: {
        // Eight teeth around a ring.
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        QPainterPath path;
        const int kTeeth = 8;
        const qreal dOuter = dSize * 0.48;
        const qreal dInner = dSize * 0.36;
        for (int i = 0; i < kTeeth * 2; ++i) {
            const qreal dAngle = (i * M_PI) / kTeeth - M_PI / (kTeeth * 2);
            const qreal dRadius = (i % 2 == 0) ? dOuter : dInner;
            const qreal dHalf = M_PI / (kTeeth * 4);
            const QPointF first =
                centre + QPointF(dRadius * std::cos(dAngle - dHalf), dRadius * std::sin(dAngle - dHalf));
            const QPointF second =
                centre + QPointF(dRadius * std::cos(dAngle + dHalf), dRadius * std::sin(dAngle + dHalf));
            if (i == 0) {
                path.moveTo(first);
            } else {
                path.lineTo(first);
            }
            path.lineTo(second);
        }
        path.closeSubpath();
        path.addEllipse(centre, dSize * 0.16, dSize * 0.16);
        path.setFillRule(Qt::OddEvenFill);
        painter.drawPath(path);
        break;
    }
    case resource::SHAPE_CROSS:
        painter.setPen(pen);
        painter.drawLine(QPointF(dSize * 0.15, dSize * 0.15), QPointF(dSize * 0.85, dSize * 0.85));
        painter.drawLine(QPointF(dSize * 0.85, dSize * 0.15), QPointF(dSize * 0.15, dSize * 0.85));
        break;
    case resource::SHAPE_ARROW_LEFT:
    case resource::SHAPE_ARROW_RIGHT:
    case resource::SHAPE_ARROW_UP:
    case resource::SHAPE_ARROW_DOWN: {
        // A triangle pointing left, turned for the other directions.
        static const QHash<int, qreal> s_rotation = {{resource::SHAPE_ARROW_LEFT, 0},
                                                     {resource::SHAPE_ARROW_UP, 90},
                                                     {resource::SHAPE_ARROW_RIGHT, 180},
                                                     {resource::SHAPE_ARROW_DOWN, 270}};
        painter.translate(centre);
        painter.rotate(s_rotation.value(eShape));
        painter.translate(-centre);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        const QPointF points[] = {
            {dSize * 0.2, dSize / 2}, {dSize * 0.8, dSize * 0.1}, {dSize * 0.8, dSize * 0.9}};
        painter.drawPolygon(points, 3);
        break;
    }
    case resource::SHAPE_MORE:
        painter.setPen(pen);
        for (qreal dX : {dSize * 0.2, dSize * 0.55}) {
            painter.drawLine(QPointF(dX, dSize * 0.25), QPointF(dX + dSize * 0.25, dSize / 2));
            painter.drawLine(QPointF(dX + dSize * 0.25, dSize / 2), QPointF(dX, dSize * 0.75));
        }
        break;
    }
    return pixmap;
}

} // namespace

CUiResource::CUiResource() : m_strFontFamily(QString::fromLatin1(resource::defaultFontFamily()))
{
    const resource::CTable<resource::CColorEntry> themes[] = {resource::darkColors(),
                                                              resource::lightColors()};
    for (int i = 0; i < 2; ++i) {
        for (const resource::CColorEntry& entry : themes[i]) {
            m_colors[i].insert(QString::fromLatin1(entry.m_szKey), QColor::fromRgba(entry.m_rgba));
        }
    }
}

CUiResource* CUiResource::instance()
{
    return utils::CSingletonT<CUiResource>::instance();
}

const QColor& CUiResource::getColor(const QString& strKey) const
{
    const QHash<QString, QColor>& colors = m_colors[m_eTheme];
    auto it = colors.constFind(strKey);
    if (it == colors.constEnd()) {
        warnMissing(strKey);
        return s_missingColor;
    }
    return it.value();
}

QString CUiResource::getColorSheetByKey(const QString& strKey) const
{
    const QColor& color = getColor(strKey);
    if (color.alpha() == 255) {
        return color.name(QColor::HexRgb);
    }
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QFont CUiResource::getFont(const QString& strKey) const
{
    QFont font;
    font.setFamilies({m_strFontFamily, QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    const resource::CFontEntry* pEntry = findEntry(resource::fonts(), strKey);
    if (!pEntry) {
        warnMissing(strKey);
        font.setPixelSize(scaled(kMissingPixels));
        return font;
    }
    font.setPixelSize(scaled(pEntry->m_nPixelSize));
    font.setBold(pEntry->m_bBold);
    return font;
}

int CUiResource::getSize(const QString& strKey) const
{
    const resource::CSizeEntry* pEntry = findEntry(resource::sizes(), strKey);
    if (!pEntry) {
        warnMissing(strKey);
        return scaled(kMissingPixels);
    }
    return scaled(pEntry->m_nPixels);
}

QPixmap CUiResource::getImage(const QString& strKey) const
{
    auto it = m_imageCache.constFind(strKey);
    if (it != m_imageCache.constEnd()) {
        return it.value();
    }
    const resource::CImageEntry* pEntry = findEntry(resource::images(), strKey);
    QPixmap pixmap;
    if (pEntry) {
        pixmap = drawShape(pEntry->m_eShape, scaled(pEntry->m_nPixels),
                           getColor(QString::fromLatin1(pEntry->m_szColorKey)));
    } else {
        warnMissing(strKey);
        pixmap = QPixmap(scaled(kMissingPixels), scaled(kMissingPixels));
        pixmap.fill(s_missingColor);
    }
    m_imageCache.insert(strKey, pixmap);
    return pixmap;
}

bool CUiResource::contains(const QString& strKey) const
{
    return (m_colors[THEME_DARK].contains(strKey) && m_colors[THEME_LIGHT].contains(strKey)) ||
           findEntry(resource::fonts(), strKey) || findEntry(resource::sizes(), strKey) ||
           findEntry(resource::images(), strKey);
}

void CUiResource::setTheme(ETheme eTheme)
{
    if (eTheme == m_eTheme) {
        return;
    }
    m_eTheme = eTheme;
    m_imageCache.clear();
    notifyHandlers(&CUiResourceChangeHandler::themeChanged);
}

void CUiResource::setScale(double dScale)
{
    dScale = std::clamp(dScale, 0.5, 4.0);
    if (qFuzzyCompare(dScale, m_dScale)) {
        return;
    }
    m_dScale = dScale;
    m_imageCache.clear();
    notifyHandlers(&CUiResourceChangeHandler::scaleChanged);
}

void CUiResource::setFontFamily(const QString& strFamily)
{
    if (strFamily == m_strFontFamily) {
        return;
    }
    m_strFontFamily = strFamily;
    notifyHandlers(&CUiResourceChangeHandler::setFixFont);
}

void CUiResource::registerHandler(CUiResourceChangeHandler* pHandler)
{
    m_handlers.push_back(pHandler);
}

void CUiResource::unregisterHandler(CUiResourceChangeHandler* pHandler)
{
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), pHandler), m_handlers.end());
}

void CUiResource::notifyHandlers(CNotify pfnNotify)
{
    // A handler may create or destroy widgets while it restyles: walk a copy, and skip the handlers
    // that have gone in the meantime.
    const std::vector<CUiResourceChangeHandler*> handlers = m_handlers;
    for (CUiResourceChangeHandler* pHandler : handlers) {
        if (std::find(m_handlers.begin(), m_handlers.end(), pHandler) != m_handlers.end()) {
            (pHandler->*pfnNotify)();
        }
    }
}

int CUiResource::scaled(int nValue) const
{
    return static_cast<int>(std::lround(nValue * m_dScale));
}

} // namespace WQ
