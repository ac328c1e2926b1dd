// quarle-make-disc: writes a CUE/BIN disc image with chosen tracks.
//   quarle-make-disc BASE WORD...
// A track is SECTORS[:HZ] (a tone), music:SECTORS[:HZ] (a music-like mix) or data:SECTORS (a data
// track); 75 sectors make one second. Words after a track word describe that track:
//   gap=SECTORS[:HZ]   a pre-gap (INDEX 00) of that many sectors ahead of the track, silent or a
//                      quiet tone; on the first track it is audio before track 1
//   index=S[,S...]     INDEX 02 onwards, sectors from the track's start
//   isrc=CODE          the track's ISRC (12 letters and digits)
//   pre                pre-emphasis (FLAGS PRE)
// and anywhere, catalog=DIGITS: the disc's catalogue number (13 digits). Writes BASE.cue and BASE.bin
// and prints the cue path.
//   quarle-make-disc /tmp/d 750 gap=150:880 isrc=ITABC2400001 1500 gap=75 index=300 pre catalog=8012345678905
#include "DiscImage.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s BASE WORD...\n  track: SECTORS[:HZ] | music:SECTORS[:HZ] | data:SECTORS\n"
                     "  after a track: gap=SECTORS[:HZ] index=S[,S...] isrc=CODE pre\n"
                     "  anywhere: catalog=DIGITS\n",
                     argv[0]);
        return 2;
    }
    QStringList words;
    for (int i = 2; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    std::vector<DiscTrack> tracks;
    DiscText text;
    QString error;
    if (!parseDiscWords(words, &tracks, &text, &error)) {
        std::fprintf(stderr, "%s: bad word \"%s\"\n", argv[0], qPrintable(error));
        return 2;
    }
    DiscImage image;
    if (!writeDiscImage(QString::fromLocal8Bit(argv[1]), tracks, &image, &error, text)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(image.cuePath));
    return 0;
}
