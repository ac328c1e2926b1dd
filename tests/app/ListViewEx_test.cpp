#include "MainWindowFixture.h"

#include "app/ListViewEx.h"

#include <gtest/gtest.h>

// Each event as "kind column width", then the column's width when the event came: the new width is
// applied before the end event. Of two columns with one caption the dragged one is reported.
TEST(ListViewEx, DividerDragReportsTheDraggedColumnAndItsNewWidthAtTheEnd)
{
    TListViewEx list;
    list.setHeaderLabels({"Traccia", "Durata", "Durata"});
    for (int i = 0; i < 3; ++i)
        list.setColumnWidth(i, 50 + 10 * i);
    list.resize(377, 211);
    list.show();
    QStringList events;
    const auto record = [&](const char *kind) {
        return [&, kind](QObject *, int column, int width) {
            events << QString("%1 %2 %3 %4").arg(kind).arg(column).arg(width).arg(list.columnWidth(column));
        };
    };
    list.OnBeginColumnResize = record("begin");
    list.OnColumnResize = record("track");
    list.OnEndColumnResize = record("end");
    dragDivider(&list, 2, {12, 25});
    EXPECT_EQ(events, QStringList({"begin 2 70 70", "track 2 82 70", "track 2 95 70", "end 2 95 95"}));
}
