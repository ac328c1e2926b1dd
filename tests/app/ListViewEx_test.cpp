#include "MainWindowFixture.h"

#include "app/ListViewEx.h"

#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

struct ResizeEvent {
    const char *kind;
    int column;
    int width;
    bool operator==(const ResizeEvent &o) const
    {
        return std::string(kind) == o.kind && column == o.column && width == o.width;
    }
};

std::ostream &operator<<(std::ostream &out, const ResizeEvent &e)
{
    return out << e.kind << "(" << e.column << ", " << e.width << ")";
}

struct ListUnderTest {
    explicit ListUnderTest(const QStringList &captions)
    {
        list.setHeaderLabels(captions);
        for (int i = 0; i < captions.size(); ++i)
            list.setColumnWidth(i, 50 + 10 * i);
        list.resize(377, 211);
        list.show();
    }
    void record()
    {
        list.OnBeginColumnResize = [this](QObject *s, int c, int w) { add(s, "begin", c, w); };
        list.OnColumnResize = [this](QObject *s, int c, int w) { add(s, "track", c, w); };
        list.OnEndColumnResize = [this](QObject *s, int c, int w) { add(s, "end", c, w); };
    }
    void add(QObject *sender, const char *kind, int column, int width)
    {
        EXPECT_EQ(sender, &list);
        events.push_back({kind, column, width});
        widthsSeen.push_back(list.columnWidth(column < 0 ? 0 : column));
    }
    TListViewEx list;
    std::vector<ResizeEvent> events;
    std::vector<int> widthsSeen;
};

} // namespace

TEST(ListViewEx, DividerDragReportsBeginTrackAndEndInOrder)
{
    struct Case {
        const char *name;
        QStringList captions;
        int section;
        std::vector<int> steps;
        std::vector<ResizeEvent> events;
        int finalWidth;
    };
    const Case cases[] = {
        {"widen the second column",
         {"Traccia", "Descrizione", "Durata", "Avanzamento"},
         1,
         {12, 25},
         {{"begin", 1, 60}, {"track", 1, 72}, {"track", 1, 85}, {"end", 1, 85}},
         85},
        {"narrow the first column",
         {"Traccia", "Descrizione", "Durata", "Avanzamento"},
         0,
         {-20},
         {{"begin", 0, 50}, {"track", 0, 30}, {"end", 0, 30}},
         30},
        {"past the column's left edge",
         {"Traccia", "Descrizione", "Durata", "Avanzamento"},
         2,
         {-100},
         {{"begin", 2, 70}, {"track", 2, 0}, {"end", 2, 0}},
         0},
        // The column is found again by its caption; of two columns with one caption, the dragged
        // one is reported, not the first.
        {"two columns with one caption",
         {"Traccia", "Durata", "Durata", "Avanzamento"},
         2,
         {5},
         {{"begin", 2, 70}, {"track", 2, 75}, {"end", 2, 75}},
         75},
    };
    for (const Case &c : cases) {
        ListUnderTest t(c.captions);
        t.record();
        dragDivider(&t.list, c.section, c.steps, [&] {
            EXPECT_EQ(t.list.columnWidth(c.section), 50 + 10 * c.section) << c.name << ": resized live";
            EXPECT_TRUE(t.list.TrackingLine()->isVisible()) << c.name;
        });
        EXPECT_EQ(t.events, c.events) << c.name;
        EXPECT_EQ(t.list.columnWidth(c.section), c.finalWidth) << c.name;
        EXPECT_FALSE(t.list.TrackingLine()->isVisible()) << c.name;
        // Only the end event sees the new width.
        ASSERT_EQ(t.widthsSeen.size(), c.events.size()) << c.name;
        EXPECT_EQ(t.widthsSeen.back(), c.finalWidth) << c.name;
    }
}

TEST(ListViewEx, WithoutHandlersADragOnlyResizes)
{
    ListUnderTest t({"Traccia", "Descrizione", "Durata", "Avanzamento"});
    dragDivider(&t.list, 1, {40});
    EXPECT_EQ(t.list.columnWidth(1), 100);
    EXPECT_EQ(t.list.columnWidth(0), 50);
    EXPECT_EQ(t.list.columnWidth(2), 70);
}

TEST(ListViewEx, APressAwayFromADividerIsNoResize)
{
    ListUnderTest t({"Traccia", "Descrizione", "Durata", "Avanzamento"});
    t.record();
    QWidget *header = t.list.header()->viewport();
    const QPoint middle(t.list.header()->sectionViewportPosition(1) + 30, header->height() / 2);
    QTest::mousePress(header, Qt::LeftButton, {}, middle);
    QTest::mouseMove(header, middle + QPoint(20, 0));
    QTest::mouseRelease(header, Qt::LeftButton, {}, middle + QPoint(20, 0));
    EXPECT_TRUE(t.events.empty());
    EXPECT_EQ(t.list.columnWidth(1), 60);
}
