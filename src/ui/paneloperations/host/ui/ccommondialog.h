#pragma once

#include "ui/cbasedialog.h"

#include <QPoint>
#include <QPointer>

namespace WQ {

class CPushButton;

// A framed dialog drawn by the toolkit: a title bar with the title and a close button (which also moves
// the dialog when dragged), a one-pixel border, and one inner widget filling the rest. GUI thread only.
class CCommonDialog : public CBaseDialog
{
    Q_OBJECT

public:
    explicit CCommonDialog(QWidget* pParent = nullptr);
    ~CCommonDialog() override;

    void setTitle(const QString& strTitle);
    QString title() const { return m_strTitle; }
    // Installs pWidget below the title bar (and makes this its parent).
    void setInnerWidget(QWidget* pWidget);
    QWidget* innerWidget() const { return m_pInnerWidget; }

    void setFixFont() override;
    void themeChanged() override;
    void scaleChanged() override;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    int titleHeight() const;
    void restyle();

    QString m_strTitle;
    QPointer<QWidget> m_pInnerWidget;
    CPushButton* m_pCloseButton = nullptr;
    QPoint m_dragOffset;
    bool m_bDragging = false;
};

} // namespace WQ
