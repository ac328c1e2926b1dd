#include "disc/Quarle.h"

#include "FakeCdRip.h"
#include "TestDisc.h"

#include <gtest/gtest.h>

namespace
{

std::string message(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ECDRIPError &e) {
        return e.what();
    }
    return "<no error>";
}

// Two drives (letters D and F), an audio disc of two tracks.
FakeCdRip twoDrives()
{
    FakeCdRip fake;
    fake.cdRomLetters = "DF";
    fake.drives = {FakeCdRip::record("PLEXTOR PX-716A", 40, 1), FakeCdRip::record("SONY DDU1615", 24, 0)};
    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(1000, 0x10), FakeCdRip::entry(2500, 0)};
    return fake;
}

} // namespace

TEST(Quarle, TableOfContentsCaptionsAndLengths)
{
    struct Case {
        const char *name;
        std::vector<uint64_t> toc;
        QStringList captions;
        QStringList lengths;
    } cases[] = {
        {"data track first",
         {FakeCdRip::entry(0, 0x14), FakeCdRip::entry(5000, 0x10), FakeCdRip::entry(5075, 0x10),
          FakeCdRip::entry(6000, 0)},
         {"Track 02", "Track 03"},
         {"74", "924"}},
        {"0x10 with another bit is data",
         {FakeCdRip::entry(0, 0x11), FakeCdRip::entry(100, 0x30), FakeCdRip::entry(200, 0x10),
          FakeCdRip::entry(300, 0x00), FakeCdRip::entry(400, 0)},
         {"Track 03"},
         {"99"}},
        {"only data", {FakeCdRip::entry(0, 0x14), FakeCdRip::entry(900, 0)}, {}, {}},
        {"one sector", {FakeCdRip::entry(10, 0x10), FakeCdRip::entry(11, 0)}, {"Track 01"}, {"0"}},
    };
    for (const Case &c : cases) {
        FakeCdRip fake = twoDrives();
        fake.toc = c.toc;
        TQuarle quarle(nullptr, fake.api());
        EXPECT_EQ(quarle.Tracks().captions(), c.captions) << c.name;
        EXPECT_EQ(quarle.TrackLengths(), c.lengths) << c.name;
    }

    // A table of contents the library refuses leaves both lists empty, without an error.
    FakeCdRip refused = twoDrives();
    refused.readTocResult = CR_ERROR;
    TQuarle quarle(nullptr, refused.api());
    EXPECT_TRUE(quarle.Tracks().isEmpty());
    EXPECT_TRUE(quarle.TrackLengths().isEmpty());
}

TEST(Quarle, SelectingADrive)
{
    FakeCdRip fake = twoDrives();
    TQuarle quarle(nullptr, fake.api());

    fake.calls.clear();
    quarle.setActiveCdRomNum(0);
    EXPECT_TRUE(fake.calls.isEmpty()) << "the same index reads nothing";

    for (int bad : {2, -1})
        EXPECT_EQ(message([&] { quarle.setActiveCdRomNum(bad); }),
                  "Il N° del lettore CDROM non è compreso tra 0 e 1");
    EXPECT_EQ(quarle.ActiveCdRomNum(), 0);
    EXPECT_TRUE(fake.calls.isEmpty());

    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(300, 0)};
    quarle.setActiveCdRomNum(1);
    EXPECT_EQ(fake.calls.mid(0, 3),
              QStringList({"CR_SetActiveCDROM(1)", "CR_GetCDROMParameters", "CR_ReadToc"}));
    EXPECT_EQ(quarle.CdRomName(), "SONY DDU1615");
    EXPECT_EQ(quarle.speed(), 24);
    EXPECT_EQ(quarle.TrackLengths(), QStringList({"299"}));

    // A drive the library now refuses: the old drive's identifier stays, the index is stored and
    // the table of contents is read again.
    fake.refusedDrives = {0};
    fake.calls.clear();
    quarle.setActiveCdRomNum(0);
    EXPECT_EQ(quarle.ActiveCdRomNum(), 0);
    EXPECT_EQ(quarle.CdRomName(), "SONY DDU1615");
    EXPECT_TRUE(fake.calls.contains("CR_ReadToc"));
}

TEST(Quarle, WithoutDrives)
{
    const std::string attenzione = "Attenzione!   Nessun lettore trovato o utente con diritti minimi.";
    // No CD-ROM letter at all.
    FakeCdRip none = twoDrives();
    none.cdRomLetters = "";
    TQuarle a(nullptr, none.api());
    EXPECT_EQ(message([&] { a.setActiveCdRomNum(0); }), attenzione);

    // The library does not initialise: no error at construction, no drives afterwards.
    FakeCdRip dead = twoDrives();
    dead.initResult = CR_ERROR;
    TQuarle b(nullptr, dead.api());
    EXPECT_EQ(dead.calls, QStringList({"CR_GetCDRipVersion", "CR_Init"}));
    EXPECT_TRUE(b.Drives().isEmpty());
    EXPECT_TRUE(b.Tracks().isEmpty());
    EXPECT_EQ(message([&] { b.setActiveCdRomNum(0); }), attenzione);

    // A CD-ROM letter the library refuses is skipped; the next letter gets the same index.
    FakeCdRip skip = twoDrives();
    skip.cdRomLetters = "CDF";
    skip.refusedDrives = {};
    skip.drives.resize(2);
    TQuarle c(nullptr, skip.api());
    EXPECT_EQ(c.Drives().Count(), 2);
    EXPECT_EQ(c.Drives().object(0)->Letter, 'C');
    EXPECT_EQ(c.Drives().object(1)->Letter, 'D');
}

TEST(Quarle, FailuresDuringInitialisationAndRefresh)
{
    FakeCdRip fake = twoDrives();
    fake.throwInReadToc = true;
    EXPECT_EQ(message([&] { TQuarle q(nullptr, fake.api()); }), "Inizializzazione fallita");

    fake.throwInReadToc = false;
    TQuarle quarle(nullptr, fake.api());
    fake.throwInReadToc = true;
    EXPECT_EQ(message([&] { quarle.RefreshTOC(); }), "Initialization failure");
    EXPECT_TRUE(quarle.Tracks().isEmpty());
}

TEST(Quarle, IdentifierOfAFull256Bytes)
{
    FakeCdRip fake = twoDrives();
    fake.drives[0] = FakeCdRip::record(QByteArray(256, 'X') + "tail");
    TQuarle quarle(nullptr, fake.api());
    EXPECT_EQ(quarle.CdRomName(), QString(256, 'X'));
    EXPECT_EQ(quarle.Drives().caption(0), "D: " + QString(256, 'X'));
}

TEST(Quarle, ListsAGeneratedImage)
{
    TestDisc disc({DiscTrack::data(600), DiscTrack::tone(18375, 440), DiscTrack::tone(75, 880)});
    TQuarle quarle;
    quarle.setActiveCdRomNum(0);
    EXPECT_EQ(quarle.Drives().captions(), QStringList({"D: Disc image disc.cue"}));
    EXPECT_EQ(quarle.Tracks().captions(), QStringList({"Track 02", "Track 03"}));
    EXPECT_EQ(quarle.TrackLengths(), QStringList({"18374", "74"}));
    EXPECT_EQ(quarle.Tracks().object(0)->StartSector, 600);
}
