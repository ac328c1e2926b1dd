#pragma once

#include "platform/CdDevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Where the AccurateRip database keeps its list of drives' read offsets.
inline const QString DriveOffsetsUrl =
    QStringLiteral("http://www.accuraterip.com/accuraterip/DriveOffsets.bin");

// One drive of the list: its read offset in samples and its name, "VENDOR - MODEL" with the vendor and
// the model as the drive reports them ("PIONEER  - BD-RW   BDR-209D").
struct TDriveOffset {
    int offset = 0;
    QString name;
};

// The list's records: 69 bytes each, a little-endian signed 16-bit offset and the name, NUL-padded.
// A file that is empty or does not split exactly into records is no answer.
std::optional<std::vector<TDriveOffset>> ParseDriveOffsets(const QByteArray &bytes);

// The offset listed for the drive, matching the vendor and the model on either side of the name's
// first " - ", blanks trimmed and collapsed, letter case aside.
std::optional<int> FindDriveOffset(const std::vector<TDriveOffset> &list, const CdDriveModel &drive);

struct TReadOffset {
    int samples = 0;
    QString from; // "da QUARLE_DRIVES", "dall'elenco di AccurateRip", "nessun offset noto"
};

// A drive's read offset: the one its drive-table entry gives, else the database's list's for a drive
// that reports its vendor and model (a disc image does not), else 0. `listFile` is asked only for such
// a drive without an offset of its own.
TReadOffset ChooseReadOffset(std::optional<int> entryOffset, const std::optional<CdDriveModel> &drive,
                             const std::function<std::optional<QByteArray>()> &listFile);

// The list as cached in `cacheFile` while its copy is less than 30 days old at `now`, else as `fetch`
// gives it, cached anew (whole, through a temporary file). A stale copy serves when the fetch fails.
// Nothing when neither gives a list.
std::optional<QByteArray> CachedDriveOffsets(const QString &cacheFile, const QDateTime &now,
                                             const std::function<std::optional<QByteArray>()> &fetch);
