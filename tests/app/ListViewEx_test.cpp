#include "MainWindowFixture.h"

#include "app/ListViewEx.h"

#include <gtest/gtest.h>

// Each event as "kind column width", then the column's width when the event came: the width changes
// only on release, so only the end event sees the new one.
TEST(ListViewEx, DividerDragReportsBeginTrackAndEndInOrder)
{
    const QStringList captions = {"Traccia", "Descrizione", "Durata", "Avanzamento"};
    const struct {
        const char *name;
        QStringList captions;
        int section;
        std::vector<int> steps;
        QStringList events;
    } cases[] = {
        // clang-format off
        {"widen", captions, 1, {12, 25}, {"begin 1 60 60", "track 1 72 60", "track 1 85 60", "end 1 85 85"}},
        {"narrow", captions, 0, {-20}, {"begin 0 50 50", "track 0 30 50", "end 0 30 30"}},
        {"past the left edge", captions, 2, {-100}, {"begin 2 70 70", "track 2 0 70", "end 2 0 0"}},
        // The column is found by its caption; of two with one caption the dragged one is reported.
        {"one caption twice", {"Traccia", "Durata", "Durata", "Avanzamento"}, 2, {5},
         {"begin 2 70 70", "track 2 75 70", "end 2 75 75"}},
        // clang-format on
    };
    for (const auto &c : cases) {
        TListViewEx list;
        list.setHeaderLabels(c.captions);
        for (int i = 0; i < c.captions.size(); ++i)
            list.setColumnWidth(i, 50 + 10 * i);
        list.resize(377, 211);
        list.show();
        QStringList events;
        const auto record = [&](const char *kind) {
            return [&, kind](QObject *sender, int column, int width) {
                EXPECT_EQ(sender, &list);
                events
                    << QString("%1 %2 %3 %4").arg(kind).arg(column).arg(width).arg(list.columnWidth(column));
            };
        };
        list.OnBeginColumnResize = record("begin");
        list.OnColumnResize = record("track");
        list.OnEndColumnResize = record("end");
        dragDivider(&list, c.section, c.steps,
                    [&] { EXPECT_TRUE(list.TrackingLine()->isVisible()) << c.name; });
        EXPECT_EQ(events, c.events) << c.name;
        EXPECT_FALSE(list.TrackingLine()->isVisible()) << c.name;

        // Without handlers a drag only resizes.
        list.OnBeginColumnResize = list.OnColumnResize = list.OnEndColumnResize = nullptr;
        const int before = list.columnWidth(0);
        dragDivider(&list, 0, {15});
        EXPECT_EQ(list.columnWidth(0), before + 15) << c.name;
    }
}
