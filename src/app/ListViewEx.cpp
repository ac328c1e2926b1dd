#include "app/ListViewEx.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <cstdlib>

TListViewEx::TListViewEx(QWidget *parent) : QTreeWidget(parent), m_trackingLine(new QWidget(this))
{
    m_trackingLine->setAutoFillBackground(true);
    QPalette palette = m_trackingLine->palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_trackingLine->setPalette(palette);
    m_trackingLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_trackingLine->hide();

    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->viewport()->installEventFilter(this);
}

TListViewEx::~TListViewEx() = default;

QPoint TListViewEx::ViewportOrigin() const
{
    return viewport()->geometry().topLeft() - contentsRect().topLeft();
}

int TListViewEx::ClientRowTop(const QTreeWidgetItem *item) const
{
    return ViewportOrigin().y() + visualItemRect(item).top();
}

void TListViewEx::DoBeginColumnResize(int columnIndex, int columnWidth)
{
    if (OnBeginColumnResize)
        OnBeginColumnResize(this, columnIndex, columnWidth);
}

void TListViewEx::DoEndColumnResize(int columnIndex, int columnWidth)
{
    if (OnEndColumnResize)
        OnEndColumnResize(this, columnIndex, columnWidth);
}

void TListViewEx::DoColumnResize(int columnIndex, int columnWidth)
{
    if (OnColumnResize)
        OnColumnResize(this, columnIndex, columnWidth);
}

void TListViewEx::Notify(THeaderCode code, const THeaderNotification &notification)
{
    const int column = HeaderItemToColumn(notification);
    const int width = NotifiedColumnWidth(notification);
    switch (code) {
    case THeaderCode::BeginTrack:
        DoBeginColumnResize(column, width);
        break;
    case THeaderCode::Track:
        DoColumnResize(column, width);
        break;
    case THeaderCode::EndTrack:
        DoEndColumnResize(column, width);
        break;
    }
}

// The header names an item; the column is found again by its caption: the same index when that
// column carries the caption, else the first column that does, else -1.
int TListViewEx::HeaderItemToColumn(const THeaderNotification &notification) const
{
    const QString text = header()->model()->headerData(notification.item, Qt::Horizontal).toString();
    const QTreeWidgetItem *captions = headerItem();
    if (notification.item >= 0 && notification.item < columnCount() &&
        captions->text(notification.item) == text)
        return notification.item;
    for (int column = 0; column < columnCount(); ++column) {
        if (captions->text(column) == text)
            return column;
    }
    return -1;
}

int TListViewEx::NotifiedColumnWidth(const THeaderNotification &notification)
{
    return notification.width.value_or(-1);
}

// The section whose right-hand divider lies within the grip margin of x (header viewport
// coordinates). Of two dividers equally near, the later one wins, so that a column shrunk to
// nothing can still be pulled open again.
int TListViewEx::DividerAt(int x) const
{
    const QHeaderView *h = header();
    const int margin = std::max(2, h->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, h));
    int best = -1;
    int bestDistance = margin;
    for (int visual = 0; visual < h->count(); ++visual) {
        const int section = h->logicalIndex(visual);
        if (h->isSectionHidden(section))
            continue;
        const int distance = std::abs(x - (h->sectionViewportPosition(section) + h->sectionSize(section)));
        if (distance <= bestDistance) {
            best = section;
            bestDistance = distance;
        }
    }
    return best;
}

void TListViewEx::ShowTrackingLine(int headerX)
{
    const int x = header()->viewport()->mapTo(this, QPoint(headerX, 0)).x();
    m_trackingLine->setGeometry(x - 1, 0, 2, height());
    m_trackingLine->raise();
    m_trackingLine->show();
}

bool TListViewEx::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == header()->viewport() && HeaderMouseEvent(event))
        return true;
    return QTreeWidget::eventFilter(watched, event);
}

// Takes the header's divider drags away from the header (which would resize live) and tracks them
// here. Returns true for the events it consumed.
bool TListViewEx::HeaderMouseEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return m_trackedSection >= 0;
        if (m_trackedSection >= 0)
            return true;
        const int x = mouse->position().toPoint().x();
        const int section = DividerAt(x);
        if (section < 0)
            return false;
        m_trackedSection = section;
        m_pressX = x;
        m_startWidth = header()->sectionSize(section);
        m_trackedWidth = m_startWidth;
        ShowTrackingLine(header()->sectionViewportPosition(section) + m_startWidth);
        Notify(THeaderCode::BeginTrack, {section, m_startWidth});
        return true;
    }
    case QEvent::MouseMove: {
        if (m_trackedSection < 0)
            return false;
        const int x = static_cast<QMouseEvent *>(event)->position().toPoint().x();
        m_trackedWidth = std::max(0, m_startWidth + x - m_pressX);
        ShowTrackingLine(header()->sectionViewportPosition(m_trackedSection) + m_trackedWidth);
        Notify(THeaderCode::Track, {m_trackedSection, m_trackedWidth});
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (m_trackedSection < 0)
            return false;
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return true;
        const int section = m_trackedSection;
        m_trackedSection = -1;
        m_trackingLine->hide();
        // The width is applied before the end is reported, so that a handler sees the new layout.
        header()->resizeSection(section, m_trackedWidth);
        Notify(THeaderCode::EndTrack, {section, m_trackedWidth});
        return true;
    }
    default:
        return false;
    }
}

void TListViewEx::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->position().toPoint());
}

void TListViewEx::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->position().toPoint());
}

void TListViewEx::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    if (OnScroll)
        OnScroll(this);
}
