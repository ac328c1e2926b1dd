#include "lookup/DriveOffsets.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QByteArray record(int16_t offset, const char *name)
{
    return (QByteArray(1, char(offset)) + char(offset >> 8) + name).leftJustified(69, '\0');
}

const QString FromEntry = "da QUARLE_DRIVES", FromList = "dall'elenco di AccurateRip",
              None = "nessun offset noto";

} // namespace

// The drive's own entry, else the list (asked only for a drive that names itself), else 0.
TEST(DriveOffsets, ChoosesTheReadOffset)
{
    const QByteArray list = record(-1164, "ACME - CD-R X9") + record(667, "PIONEER  - BD-RW   BDR-209D");
    const CdDriveModel pioneer{" pioneer", "bd-rw bdr-209d  "};
    const struct {
        std::optional<int> entry;
        std::optional<CdDriveModel> drive;
        std::optional<QByteArray> file;
        TReadOffset expected;
        bool asked;
    } rows[] = {
        {{}, pioneer, list, {667, FromList}, true},
        {{}, CdDriveModel{"Acme", "CD-R  X9"}, list, {-1164, FromList}, true},
        {6, pioneer, list, {6, FromEntry}, false},
        {{}, {}, list, {0, None}, false}, // a disc image
        {{}, CdDriveModel{"PIONEER", "BD-RW BDR-209"}, list, {0, None}, true},
        {{}, pioneer, list + '\0', {0, None}, true},
    };
    for (const auto &row : rows) {
        bool asked = false;
        const TReadOffset got =
            ChooseReadOffset(row.entry, row.drive, [&] { return asked = true, row.file; });
        EXPECT_TRUE(got.samples == row.expected.samples && got.from == row.expected.from) << got.samples;
        EXPECT_EQ(asked, row.asked);
    }
}

// A copy younger than 30 days serves without the network; an older one (or one dated ahead) is fetched
// anew, and serves still when the fetch fails. What is not a list is never cached.
TEST(DriveOffsets, CachesTheListFor30Days)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DriveOffsets.bin");
    const QByteArray first = record(1, "A - B"), second = record(2, "A - B"), junk = "<html>";
    const QDateTime now = QDateTime::currentDateTime();
    const struct {
        int days;
        std::optional<QByteArray> answer, expected;
        bool fetched;
    } rows[] = {{0, QByteArray(), {}, true}, {0, first, first, true},    {29, second, first, false},
                {31, {}, first, true},       {-1, second, second, true}, {31, junk, second, true}};
    for (const auto &row : rows) {
        bool fetched = false;
        EXPECT_EQ(CachedDriveOffsets(path, now.addDays(row.days), [&] { return fetched = true, row.answer; }),
                  row.expected)
            << row.days;
        EXPECT_EQ(fetched, row.fetched) << row.days;
    }
    // A link in the cache's place: read no further than a list can be, then replaced, not written through.
    ASSERT_TRUE(QFile::remove(path) && QFile::link("/dev/zero", path));
    EXPECT_EQ(CachedDriveOffsets(path, now, [&] { return std::optional(first); }), first);
    EXPECT_FALSE(QFileInfo(path).isSymLink());
}
