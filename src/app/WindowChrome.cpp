#include "app/WindowChrome.h"

#include "app/CaptionBar.h"
#include "app/LinkLabel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

TWindowChrome::TWindowChrome(QWidget *window, const TParts &parts)
    : QObject(window), m_window(window), m_parts(parts)
{
    TCaptionBar *bar = m_parts.captionBar;
    bar->OnPaint = [this](QObject *s, const QRect &r, QPainter &c, const QFont &f) {
        dxContainer1Paint(s, r, c, f);
    };
    bar->OnMouseDown = [this](QObject *s, QMouseEvent *e) { dxContainer1MouseDown(s, e); };
    bar->OnMouseMove = [this](QObject *, QMouseEvent *e) { DragMove(e); };
    bar->OnMouseUp = [this](QObject *, QMouseEvent *) { m_dragging = false; };

    m_parts.closeButton->setIcon(window->style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_parts.minimiseButton->setIcon(window->style()->standardIcon(QStyle::SP_TitleBarMinButton));
    connect(m_parts.closeButton, &QToolButton::clicked, this, &TWindowChrome::dxToolButton1Click);
    connect(m_parts.minimiseButton, &QToolButton::clicked, this, &TWindowChrome::dxToolButton2Click);

    for (TLinkLabel *label : {m_parts.selectAll, m_parts.selectNone}) {
        label->setColour(LinkColour());
        label->OnMouseMove = [this](QObject *s) { LabelMouseMove(s); };
        label->OnMouseLeave = [this](QObject *s) { LabelMouseLeave(s); };
    }
}

QColor TWindowChrome::LinkColour()
{
    return QColor(0, 128, 128);
}

QColor TWindowChrome::HoverColour()
{
    return QColor(255, 0, 0);
}

Qt::WindowFlags TWindowChrome::HideTitleBar(QWidget *window, bool hide)
{
    const QSize client = window->size();
    const QPoint place = window->pos();
    const bool shown = window->isVisible();
    // The title bar's own hints go with it: Qt keeps a frame for a window that asks for title-bar
    // buttons.
    const Qt::WindowFlags titleBar = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                     Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                     Qt::WindowCloseButtonHint;
    Qt::WindowFlags flags = window->windowFlags() & ~(titleBar | Qt::FramelessWindowHint);
    flags |= hide ? Qt::WindowFlags(Qt::FramelessWindowHint) : titleBar;
    window->setWindowFlags(flags); // this hides the window
    window->resize(client);
    window->move(place);
    if (shown)
        window->show();
    return window->windowFlags();
}

// Thin grey lines on the bar's even rows, then the application's title in a face-coloured box in
// the middle; the bar draws its own caption over that box afterwards.
void TWindowChrome::dxContainer1Paint(QObject *, const QRect &rect, QPainter &canvas, const QFont &font)
{
    canvas.setPen(QColor(128, 128, 128));
    for (int k = rect.top(); k <= rect.bottom(); ++k) {
        const int y = rect.top() + 2 * k;
        if (y > rect.bottom())
            break;
        canvas.drawLine(rect.left() + 1, y, rect.right() - 1, y);
    }
    canvas.setFont(font);
    canvas.setPen(m_window->palette().color(QPalette::WindowText));
    TCaptionBar::DrawBoxedText(canvas, rect, " " + QGuiApplication::applicationDisplayName() + " ",
                               m_window->palette().color(QPalette::Button));
}

// A press anywhere on the bar (the tool buttons take their own presses) moves the window: through
// the window manager's move when it offers one, else by following the pointer until release.
void TWindowChrome::dxContainer1MouseDown(QObject *, QMouseEvent *event)
{
    QWindow *handle = m_window->windowHandle();
    if (handle && event->button() == Qt::LeftButton && handle->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - m_window->pos();
}

void TWindowChrome::DragMove(QMouseEvent *event)
{
    if (m_dragging)
        m_window->move(event->globalPosition().toPoint() - m_dragOffset);
}

void TWindowChrome::dxToolButton1Click()
{
    m_window->close();
}

void TWindowChrome::dxToolButton2Click()
{
    m_window->showMinimized();
}

void TWindowChrome::LabelMouseMove(QObject *sender)
{
    if (auto *label = qobject_cast<TLinkLabel *>(sender))
        label->setColour(HoverColour());
}

void TWindowChrome::LabelMouseLeave(QObject *sender)
{
    if (auto *label = qobject_cast<TLinkLabel *>(sender))
        label->setColour(LinkColour());
}
