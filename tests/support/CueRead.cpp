#include "CueRead.h"

#include <QFile>

#include <cdio/cdio.h>
#include <cdio/cdtext.h>

#include <cstdlib>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// libcdio 2.1's reading of a sheet of several FILEs: it takes every INDEX time as a position on the disc,
// so each track's INDEX 01 00:00:00 lands at LSN 0 and its start says nothing; it reads the audio from
// "<sheet>.bin" alone (the FILEs' names and types are kept, never opened). What it does read: the
// tracks, CATALOG, ISRC, FLAGS PRE, TITLE as CD-Text, and INDEX 00 (as its time in its file + 150,
// none when that is INDEX 01's time); never PREGAP nor INDEX 02.
QString ReadCueByLibcdio(const QString &sheet)
{
    // libcdio's parser loses a track's first FILE name when INDEX 01 is in another FILE than INDEX 00 (as
    // in the sheet of a rip): the parser's leak, not its reader's.
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    std::unique_ptr<CdIo_t, void (*)(CdIo_t *)> cd(cdio_open_cue(QFile::encodeName(sheet).constData()),
                                                   cdio_destroy);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    if (!cd)
        return "refused";
    const auto take = [](char *text) {
        const QString value = text ? QString::fromUtf8(text) : "-";
        std::free(text);
        return value;
    };
    QString read = "MCN " + take(cdio_get_mcn(cd.get()));
    cdtext_t *cdText = cdio_get_cdtext(cd.get());
    for (track_t t = 1; t <= cdio_get_num_tracks(cd.get()); ++t) {
        const lba_t gap = cdio_get_track_pregap_lba(cd.get(), t);
        const char *title = cdText ? cdtext_get_const(cdText, CDTEXT_FIELD_TITLE, t) : nullptr;
        read += QString("; %1 %2%3 \"%4\" %5")
                    .arg(t)
                    .arg(take(cdio_get_track_isrc(cd.get(), t)))
                    .arg(cdio_get_track_preemphasis(cd.get(), t) == CDIO_TRACK_FLAG_TRUE ? " PRE" : "")
                    .arg(title ? QString::fromUtf8(title) : "-")
                    .arg(gap == CDIO_INVALID_LBA ? "-" : QString::number(gap - CDIO_PREGAP_SECTORS));
    }
    return read;
}
