#include "MainWindowFixture.h"

#include "app/ListViewEx.h"

#include <gtest/gtest.h>

// Each event as "kind column width", then the column's width when the event came: the width changes
// on release, before the end event. Of two columns with one caption the dragged one is reported.
TEST(ListViewEx, DividerDragReportsTheDraggedColumnAndItsNewWidthAtTheEnd)
{
    const struct {
        QStringList captions;
        int section;
        QStringList events;
    } cases[] = {
        {{"Traccia", "Descrizione", "Durata"},
         1,
         {"begin 1 60 60", "track 1 72 60", "track 1 85 60", "end 1 85 85"}},
        {{"Traccia", "Durata", "Durata"},
         2,
         {"begin 2 70 70", "track 2 82 70", "track 2 95 70", "end 2 95 95"}},
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
            return [&, kind](QObject *, int column, int width) {
                events
                    << QString("%1 %2 %3 %4").arg(kind).arg(column).arg(width).arg(list.columnWidth(column));
            };
        };
        list.OnBeginColumnResize = record("begin");
        list.OnColumnResize = record("track");
        list.OnEndColumnResize = record("end");
        dragDivider(&list, c.section, {12, 25});
        EXPECT_EQ(events, c.events);
    }
}
