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

// The layout the library tells is taken entry by entry, and what cannot be this disc's is left out: a
// pre-gap outside the stretch before its track, an index point outside its track, a layout of another
// number of tracks, audio before a track 1 that starts at sector 0.
TEST(Quarle, DiscLayout)
{
    const std::vector<uint64_t> toc = {FakeCdRip::entry(600, 0x10), FakeCdRip::entry(2000, 0x10),
                                       FakeCdRip::entry(5000, 0x14), FakeCdRip::entry(6000, 0)};
    CdLayout told{
        {{0, {900, 1999, 2400}, "ITABC2400001", true}, {2100, {}, {}, false}, {4000, {}, {}, false}},
        "8012345678905",
        CdHiddenAudio::Present};
    const std::vector<TDiscEntry> taken = {{600, true, 0, {900, 1999}, "ITABC2400001", true},
                                           {2000, true, 2000},
                                           {5000, false, 4000},
                                           {6000, false, 6000}};
    std::vector<TDiscEntry> bare = {
        {600, true, 600}, {2000, true, 2000}, {5000, false, 5000}, {6000, false, 6000}};
    CdLayout shorter = told;
    shorter.tracks.pop_back();
    std::vector<uint64_t> fromZero = toc;
    fromZero[0] = FakeCdRip::entry(0, 0x10);
    std::vector<TDiscEntry> fromZeroTaken = taken;
    fromZeroTaken[0].StartSector = 0;
    fromZeroTaken[0].IndexSectors = {900, 1999};

    const struct {
        const char *name;
        std::vector<uint64_t> toc;
        std::optional<CdLayout> layout;
        std::vector<TDiscEntry> entries;
        QString mcn;
        THiddenAudio hidden;
    } rows[] = {
        {"told", toc, told, taken, "8012345678905", THiddenAudio::Present},
        {"track 1 at sector 0", fromZero, told, fromZeroTaken, "8012345678905", THiddenAudio::None},
        {"another number of tracks", toc, shorter, bare, "", THiddenAudio::None},
        {"no layout", toc, std::nullopt, bare, "", THiddenAudio::None},
    };
    for (const auto &row : rows) {
        FakeCdRip fake = twoDrives();
        fake.toc = row.toc;
        fake.layout = row.layout;
        TQuarle quarle(nullptr, fake.api());
        EXPECT_TRUE(quarle.DiscEntries() == row.entries) << row.name;
        EXPECT_EQ(quarle.Mcn(), row.mcn) << row.name;
        EXPECT_EQ(quarle.HiddenAudio(), row.hidden) << row.name;
        EXPECT_EQ(quarle.Tracks().captions(), QStringList({"Track 01", "Track 02"})) << row.name;
        const bool present = row.hidden == THiddenAudio::Present;
        EXPECT_EQ(quarle.HiddenTrack().has_value(), present) << row.name;
        EXPECT_EQ(message([&] { quarle.RipTrack(0, "/nonexistent/hidden.pcm"); }),
                  present ? "Cannot create file \"/nonexistent/hidden.pcm\". No such file or directory"
                          : "List index out of bounds (-1)")
            << row.name;
        EXPECT_EQ(fake.calls.contains("CR_OpenRipper(0,599)"), present) << row.name;
    }
}

TEST(Quarle, DrivesTableOfContentsAndTheirFailures)
{
    FakeCdRip fake = twoDrives();
    fake.drives[0] = FakeCdRip::record(QByteArray(256, 'X') + "tail"); // an identifier of a full record
    TQuarle quarle(nullptr, fake.api());
    EXPECT_EQ(quarle.Drives().caption(0), "D: " + QString(256, 'X'));
    EXPECT_EQ(message([&] { quarle.setActiveCdRomNum(2); }),
              "Il N° del lettore CDROM non è compreso tra 0 e 1");
    // Only tracks flagged exactly 0x10 are audio; the last sector of a track is the one before the next.
    fake.toc = {FakeCdRip::entry(0, 0x14), FakeCdRip::entry(100, 0x11), FakeCdRip::entry(5000, 0x10),
                FakeCdRip::entry(5075, 0x30), FakeCdRip::entry(6000, 0)};
    quarle.setActiveCdRomNum(1);
    EXPECT_EQ(quarle.CdRomName(), "SONY DDU1615");
    EXPECT_EQ(std::pair(quarle.Tracks().captions(), quarle.TrackLengths()),
              std::pair(QStringList({"Track 03"}), QStringList({"74"})));
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
