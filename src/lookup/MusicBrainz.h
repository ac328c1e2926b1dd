#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

// One track of the disc's table of contents: its first frame counting the 150-frame lead-in (LSN + 150,
// as the CD audio device and the CDDB query give it) and whether it is a data track.
struct MusicBrainzTocTrack {
    uint32_t start = 0;
    bool data = false;
};

// A track of the medium that holds the disc. The artist is the track's own credit, else its
// recording's, else the release's.
struct MusicBrainzTrack {
    QString title, artist;
    QString trackId, recordingId; // MBIDs
    int position = 0;             // from 1 on the medium
    QString number;               // as printed on the medium: "1", "A1"
};

// A release that holds the disc: the release's own data and the one medium the disc is.
struct MusicBrainzRelease {
    QString releaseId, title, artist;
    QString year; // four digits, or empty
    QString country, format, label;
    int mediumPosition = 0, mediumCount = 0;
    std::vector<MusicBrainzTrack> tracks;
};

// The MusicBrainz web service (version 2, JSON): the disc id, the lookup URL and the reading of the
// answer, on plain values.
class MusicBrainz
{
public:
    static const QString DefaultServer;
    // Bounds on what an answer may make the program keep.
    static constexpr qsizetype MaxAnswerBytes = 1 << 20;
    static constexpr size_t MaxReleases = 100;
    static constexpr size_t MaxTracks = 99;

    // The disc id of tracks 1..N (every track, in disc order) and the lead-out, both in absolute frames.
    // A data track last (enhanced CD) is left out and the audio ends 11400 frames (the gap between the
    // sessions) before it starts; a data track first (mixed mode) stays. Empty for a table that cannot
    // be a disc's: no track, more than 99, starts that do not increase up to the lead-out.
    static QString DiscId(const std::vector<MusicBrainzTocTrack> &tracks, uint32_t leadOut);

    // <server>/ws/2/discid/<id>?inc=artist-credits+recordings&fmt=json, for "https://musicbrainz.org" or
    // a mirror ("http://127.0.0.1:8080"); a "/" at the end of the server is dropped.
    static QString LookupUrl(const QString &discId, const QString &server = DefaultServer);

    // "QUARLE/<version> ( <project page> )": the service asks every client to name itself and a contact.
    static QString UserAgent();

    // The releases of a disc id lookup's answer (the body's bytes) that hold `discId`, the id the lookup
    // asked for, on one of their media: in answer order, each with the first such medium, at most
    // MaxReleases. An answer over MaxAnswerBytes, malformed, or not an object with a "releases" array
    // (an error object) gives none. A release without a string id and title, or a medium whose tracks
    // are not a list of at most MaxTracks titled tracks, is passed over.
    static std::vector<MusicBrainzRelease> ReadReleases(const QByteArray &answer, const QString &discId);
};
