#include "disc/Quarle.h"

#include "FakeCdRip.h"

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

// Only tracks whose flag is exactly 0x10 are audio; the last sector of a track is the one before the next.
TEST(Quarle, TableOfContents)
{
    FakeCdRip fake = twoDrives();
    fake.toc = {FakeCdRip::entry(0, 0x14), FakeCdRip::entry(100, 0x11), FakeCdRip::entry(5000, 0x10),
                FakeCdRip::entry(5075, 0x30), FakeCdRip::entry(6000, 0)};
    TQuarle quarle(nullptr, fake.api());
    EXPECT_EQ(quarle.Tracks().captions(), QStringList({"Track 03"}));
    EXPECT_EQ(quarle.TrackLengths(), QStringList({"74"}));
}

TEST(Quarle, DrivesAndTheirFailures)
{
    FakeCdRip fake = twoDrives();
    fake.drives[0] = FakeCdRip::record(QByteArray(256, 'X') + "tail"); // an identifier of a full record
    TQuarle quarle(nullptr, fake.api());
    EXPECT_EQ(quarle.Drives().caption(0), "D: " + QString(256, 'X'));
    EXPECT_EQ(message([&] { quarle.setActiveCdRomNum(2); }),
              "Il N° del lettore CDROM non è compreso tra 0 e 1");
    fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(300, 0)};
    quarle.setActiveCdRomNum(1);
    EXPECT_EQ(quarle.CdRomName(), "SONY DDU1615");
    EXPECT_EQ(quarle.TrackLengths(), QStringList({"299"}));
    fake.throwInReadToc = true;
    EXPECT_EQ(message([&] { quarle.RefreshTOC(); }), "Initialization failure");
    EXPECT_TRUE(quarle.Tracks().isEmpty());
    EXPECT_EQ(message([&] { TQuarle q(nullptr, fake.api()); }), "Inizializzazione fallita");

    // A library that does not initialise: no error at construction, no drives afterwards; the failure
    // tells what the drive table left out.
    FakeCdRip dead = twoDrives();
    dead.initResult = CR_ERROR;
    CdRipApi api = dead.api();
    api.DriveWarnings = [] { return QStringList{"D: /a", "E: /b"}; };
    TQuarle none(nullptr, api);
    EXPECT_EQ(message([&] { none.setActiveCdRomNum(0); }),
              "Attenzione!   Nessun lettore trovato o utente con diritti minimi.\nD: /a\nE: /b");
}
