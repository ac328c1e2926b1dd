// quarle-make-disc: writes a CUE/BIN disc image with chosen tracks.
//   quarle-make-disc BASE TRACK...
// TRACK is SECTORS[:HZ] (a tone), music:SECTORS[:HZ] (a music-like mix) or data:SECTORS (a data
// track); 75 sectors make one second. Writes BASE.cue and BASE.bin and prints the cue path.
#include "DiscImage.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s BASE TRACK...\n  TRACK: SECTORS[:HZ] | music:SECTORS[:HZ] | data:SECTORS\n",
                     argv[0]);
        return 2;
    }
    std::vector<DiscTrack> tracks;
    for (int i = 2; i < argc; ++i) {
        DiscTrack track;
        if (!parseDiscTrackWord(QString::fromLocal8Bit(argv[i]), &track)) {
            std::fprintf(stderr, "%s: bad track \"%s\"\n", argv[0], argv[i]);
            return 2;
        }
        tracks.push_back(track);
    }
    DiscImage image;
    QString error;
    if (!writeDiscImage(QString::fromLocal8Bit(argv[1]), tracks, &image, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(image.cuePath));
    return 0;
}
