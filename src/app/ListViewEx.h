#pragma once

#include <QTreeWidget>

#include <functional>
#include <optional>

// The report list of the main window: a tree widget used as a flat list that also reports when the
// user drags a header divider. A divider drag does not resize live: a tracking line follows the
// pointer and the column takes its new width when the button is released.
class TListViewEx : public QTreeWidget
{
    Q_OBJECT

public:
    using TColumnResizeEvent = std::function<void(QObject *sender, int columnIndex, int columnWidth)>;
    using TMouseEvent = std::function<void(QObject *sender, Qt::MouseButton button, const QPoint &pos)>;
    using TNotifyEvent = std::function<void(QObject *sender)>;

    explicit TListViewEx(QWidget *parent = nullptr);
    ~TListViewEx() override;

    // Fired in this order for one drag, with the column index and the width the header notified.
    // The end event comes after the column has its new width.
    TColumnResizeEvent OnColumnResize;
    TColumnResizeEvent OnEndColumnResize;
    TColumnResizeEvent OnBeginColumnResize;

    // Mouse press and release over the rows (pos in viewport coordinates), after the list's own
    // handling; and any scroll of the rows, after the view has moved.
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnScroll;

    // The list's client coordinates count the header as part of the client area, as a report list
    // does: the first row starts below the header. This is the viewport's top-left in them.
    QPoint ViewportOrigin() const;
    // Top of a row in client coordinates (negative or under the header when scrolled away).
    int ClientRowTop(const QTreeWidgetItem *item) const;
    // The line shown while a divider is dragged; hidden otherwise.
    QWidget *TrackingLine() const { return m_trackingLine; }

protected:
    virtual void DoBeginColumnResize(int columnIndex, int columnWidth);
    virtual void DoEndColumnResize(int columnIndex, int columnWidth);
    virtual void DoColumnResize(int columnIndex, int columnWidth);

    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class THeaderCode { BeginTrack, Track, EndTrack };
    // What the header tells about one step of a divider drag: the header item and, when known,
    // the width it has or is being given.
    struct THeaderNotification {
        int item = -1;
        std::optional<int> width;
    };

    void Notify(THeaderCode code, const THeaderNotification &notification);
    int HeaderItemToColumn(const THeaderNotification &notification) const;
    static int NotifiedColumnWidth(const THeaderNotification &notification);
    int DividerAt(int x) const;
    void ShowTrackingLine(int headerX);
    bool HeaderMouseEvent(QEvent *event);

    QWidget *m_trackingLine = nullptr;
    int m_trackedSection = -1;
    int m_pressX = 0;
    int m_startWidth = 0;
    int m_trackedWidth = 0;
};
