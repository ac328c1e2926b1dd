#include "app/DiscLookup.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

namespace
{

// A lookup on a disc of audio 10 s, data 4 s, audio 10 s (identifier 0c001803), listed as rows for
// disc tracks 1 and 3.
struct Lookup {
    TestDisc disc{{DiscTrack::tone(750, 440), DiscTrack::data(300), DiscTrack::tone(750, 660)}};
    QString query, read, label;
    bool startAgain = false; // "Aggiorna" once more while the first request waits
    QStringList rows = {"Track 01", "Track 03"}, urls;
    QList<QDeadlineTimer> deadlines;

    void run()
    {
        DiscLookupContext c;
        c.driveLetter = 'D';
        c.trackList = &rows;
        c.rowTracks = {1, 3};
        c.setDiscTitle = [this](const QString &t) { label = t; };
        c.fetch = [this](const QString &url, QDeadlineTimer deadline) -> std::optional<QStringList> {
            urls << url;
            deadlines << deadline;
            if (std::exchange(startAgain, false))
                run();
            return (url.contains("cddb+query+0c001803+3+150+900+1200+24&") ? query : read).split('\n');
        };
        QueryDiscDatabase(c);
    }
};

} // namespace

// Titles go to the rows of their own disc tracks, those of tracks without a row nowhere. An inexact
// match is read by its own category and identifier, not the disc's. A second start does nothing.
TEST(DiscLookup, AnswersOfTheServerOnTheRowsOfTheirDiscTracks)
{
    const struct {
        QString query, read, readCommand, label;
        bool startAgain;
        QStringList rows;
    } cases[] = {
        // clang-format off
        {"200 rock 0c001803 Artist / Album", "210 rock\nTTITLE0=Intro\nTTITLE2=Outro = End\nTTITLE7=No\nTTITLE-1=No",
         "read+rock+0c001803+", "Artist / Album", true, {"Intro", "Outro = End"}},
        {"211 Found inexact matches\nsoundtrack 0c001a03 Film / Music\nrock 0c001803 X / Y\n.",
         "200 soundtrack 0c001a03\nTTITLE0=Theme\n.", "read+soundtrack+0c001a03+", "Film / Music", false,
         {"Theme", "Track 03"}},
        // clang-format on
    };
    for (const auto &c : cases) {
        Lookup w;
        std::tie(w.query, w.read, w.startAgain) = std::tie(c.query, c.read, c.startAgain);
        w.run();
        EXPECT_EQ(w.urls.size(), 2) << c.query.toStdString();
        EXPECT_TRUE(w.urls.last().contains(c.readCommand)) << w.urls.last().toStdString();
        EXPECT_EQ(w.label, c.label);
        EXPECT_EQ(w.rows, c.rows) << c.query.toStdString();
        // One time limit for the whole lookup, however slowly the server answers each request.
        EXPECT_LE(w.deadlines.first().remainingTime(), kLookupTimeLimitMs);
        EXPECT_EQ(w.deadlines.first(), w.deadlines.last());
        EXPECT_FALSE(DiscLookupRunning());
    }
}
