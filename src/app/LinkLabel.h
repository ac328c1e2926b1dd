#pragma once

#include <QLabel>

#include <functional>

// A transparent, underlined label that reports the pointer moving over it, leaving it, and clicks.
class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    explicit TLinkLabel(QWidget *parent = nullptr);

    QColor colour() const;
    void setColour(const QColor &colour);

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseMove;
    TNotifyEvent OnMouseLeave;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_pressed = false;
};
