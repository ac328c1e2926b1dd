#pragma once

#include <QObject>
#include <QPoint>

class QMouseEvent;
class QPainter;
class QToolButton;
class TCaptionBar;
class TLinkLabel;

// The look and the handlers of the main window's own chrome: the striped caption bar that moves
// the window, its close and minimise buttons, and the colour of the two link labels under the
// pointer.
class TWindowChrome : public QObject
{
    Q_OBJECT

public:
    struct TParts {
        TCaptionBar *captionBar = nullptr;
        QToolButton *closeButton = nullptr;
        QToolButton *minimiseButton = nullptr;
        TLinkLabel *selectAll = nullptr;
        TLinkLabel *selectNone = nullptr;
    };

    TWindowChrome(QWidget *window, const TParts &parts);

    // Removes (hide) or restores the platform's title bar and frame; the client area keeps its size
    // and the window its place. Returns the window's new flags.
    static Qt::WindowFlags HideTitleBar(QWidget *window, bool hide);

    static QColor LinkColour();
    static QColor HoverColour();

    void dxContainer1Paint(QObject *sender, const QRect &rect, QPainter &canvas, const QFont &font);
    void dxContainer1MouseDown(QObject *sender, QMouseEvent *event);
    void dxToolButton1Click();
    void dxToolButton2Click();
    void LabelMouseMove(QObject *sender);
    void LabelMouseLeave(QObject *sender);

private:
    void DragMove(QMouseEvent *event);

    QWidget *m_window;
    TParts m_parts;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
