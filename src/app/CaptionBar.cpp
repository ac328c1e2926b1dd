#include "app/CaptionBar.h"

#include <QMouseEvent>
#include <QPainter>

TCaptionBar::TCaptionBar(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void TCaptionBar::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void TCaptionBar::setSpacing(int spacing)
{
    m_spacing = spacing;
    update();
}

void TCaptionBar::DrawBoxedText(QPainter &canvas, const QRect &rect, const QString &text, const QColor &face)
{
    const QFontMetrics metrics(canvas.font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    const QRect box = metrics.boundingRect(rect, Qt::AlignCenter | Qt::TextSingleLine, shown) & rect;
    canvas.fillRect(box, face);
    canvas.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, shown);
}

void TCaptionBar::paintEvent(QPaintEvent *)
{
    QPainter canvas(this);
    canvas.setFont(font());
    if (OnPaint) {
        canvas.save();
        OnPaint(this, rect(), canvas, font());
        canvas.restore();
    }
    canvas.setPen(palette().color(QPalette::WindowText));
    DrawBoxedText(canvas, rect().adjusted(m_spacing, 1, -m_spacing, -1), m_caption,
                  palette().color(QPalette::Button));
}

void TCaptionBar::mousePressEvent(QMouseEvent *event)
{
    if (OnMouseDown)
        OnMouseDown(this, event);
}

void TCaptionBar::mouseMoveEvent(QMouseEvent *event)
{
    if (OnMouseMove)
        OnMouseMove(this, event);
}

void TCaptionBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (OnMouseUp)
        OnMouseUp(this, event);
}
