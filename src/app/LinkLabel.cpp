#include "app/LinkLabel.h"

#include <QMouseEvent>

TLinkLabel::TLinkLabel(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
    setAutoFillBackground(false);
    // Only the underline is set here: family and size still come from the window.
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
}

QColor TLinkLabel::colour() const
{
    return palette().color(QPalette::WindowText);
}

void TLinkLabel::setColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void TLinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

// A click is a left press and release both on the label.
void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click && OnClick)
        OnClick(this);
}

void TLinkLabel::mouseMoveEvent(QMouseEvent *)
{
    if (OnMouseMove)
        OnMouseMove(this);
}

void TLinkLabel::leaveEvent(QEvent *)
{
    if (OnMouseLeave)
        OnMouseLeave(this);
}
