#pragma once

#include <QWidget>

#include <functional>

class QPainter;

// The window's own caption bar. It fills its background with the window's face colour, lets its
// paint handler draw on it, then draws its caption centred in a box of the face colour.
class TCaptionBar : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
    Q_PROPERTY(int spacing READ spacing WRITE setSpacing)

public:
    using TPaintEvent =
        std::function<void(QObject *sender, const QRect &rect, QPainter &canvas, const QFont &font)>;
    using TMouseEvent = std::function<void(QObject *sender, QMouseEvent *event)>;

    explicit TCaptionBar(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    int spacing() const { return m_spacing; }
    void setSpacing(int spacing);

    TPaintEvent OnPaint;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // Draws text on one line centred in rect, on an opaque box of the face colour, cut with an
    // ellipsis when it does not fit.
    static void DrawBoxedText(QPainter &canvas, const QRect &rect, const QString &text, const QColor &face);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_caption;
    int m_spacing = 5;
};
