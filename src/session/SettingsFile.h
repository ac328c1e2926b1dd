#pragma once

#include "disc/AudioFormat.h"
#include "rip/ExtractionPlan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// "quarle.ini": 16 positional lines, each ended by CR LF, in Latin-1, or in UTF-8 when a value needs
// it (a file that is valid UTF-8 is read as such). The bracketed section lines are written but never
// read; every value is found by its line number.
//
//   //quarle ini file. non modificare
//   [destination dir]
//   /home/me/Musica/
//   [extraction]
//   0                 format: 0 MP3, 1 Wav, 2 FLAC, -1 none chosen (read as AudioFormat here, and
//                     written back as its number)
//   [codec MP3]
//   0                 sample rate index
//   4                 bit rate index
//   0                 maximum bit rate index
//   0                 channel mode index
//   0                 quality index
//   [proxy]
//   proxy host, port, user name, password (one line each)
struct QuarleSettings {
    QString dir;
    AudioFormat format = AudioFormat::Mp3;
    int sampleRate = 0;
    int bitRate = 4;
    int maxBitRate = 0;
    int mode = 0;
    int quality = 0;
    QString proxyHost;
    QString proxyPort;
    QString proxyUser;
    QString proxyPassword;
};

// What a reading found, in file order. Reading stops at the first line 5 or 7 to 11 that is not a
// decimal integer (a missing line reads as empty, and so stops it too): the fields after it stay
// unset. The format's number is clamped to -1..2; the other indexes are as written.
struct SettingsRead {
    std::optional<QString> dir;
    std::optional<AudioFormat> format;
    std::optional<int> sampleRate;
    std::optional<int> bitRate;
    std::optional<int> maxBitRate;
    std::optional<int> mode;
    std::optional<int> quality;
    std::optional<QString> proxyHost;
    std::optional<QString> proxyPort;
    std::optional<QString> proxyUser;
    std::optional<QString> proxyPassword;
};

SettingsRead ParseSettings(const QByteArray &content);
QByteArray FormatSettings(const QuarleSettings &settings);

// Reads `path`; a missing or unreadable file reads as empty.
SettingsRead ReadSettingsFile(const QString &path);
// Replaces `path` whole, readable and writable by its owner only (it holds the proxy password).
// False when it could not be written; the old file, if any, is then left as it was.
bool WriteSettingsFile(const QString &path, const QuarleSettings &settings);

// "quarle-servers.ini", beside "quarle.ini" and never written by the program: the servers asked in
// place of the public ones, one "Name=address" line each (a mirror of MusicBrainz, say):
//
//   MusicBrainz=https://musicbrainz.example.org
//   CoverArt=https://coverart.example.org
//
// Lines it does not know, and addresses that are not http:// or https://, are passed over.
struct ServerSettings {
    QString musicBrainz;
    QString coverArt;
};
ServerSettings ReadServerSettings(const QString &path);

// "quarle-estrazione.ini", beside "quarle.ini": the "Estrazione" page's options, one "Name=value" line
// each, in UTF-8; "quarle.ini" keeps its 16 lines for whoever reads them by number.
//
//   ProvaECopia=1
//   NomiFile=%B/%L/%N - %T
//   NomiCompatibili=1
//
// A line it does not know is passed over, and so is a value that is not one of the option's (a pattern
// must be IsNamePattern's); a missing one leaves the option as it starts.
struct ExtractionOptions {
    bool testAndCopy = false;                   // "Prova e copia"
    QString namePattern = QStringLiteral("%T"); // "Nomi dei file"
    bool portableNames = true;                  // "Nomi compatibili con tutti i sistemi"
};
// The file beside a "quarle.ini".
QString ExtractionOptionsFile(const QString &settingsFile);
// A missing or unreadable file reads as the options as they start.
ExtractionOptions ReadExtractionOptions(const QString &path);
// Replaces `path` whole, as WriteSettingsFile does; false when it could not be written.
bool WriteExtractionOptions(const QString &path, const ExtractionOptions &options);

// The "codec MP3" page's lists as the window offers them (the settings file keeps an index into each),
// and the page that a file's indexes choose, its other choices as the page starts.
extern const QStringList kSampleRates, kBitRates, kMaxBitRates;
TCoderPage CoderPageOf(const SettingsRead &read);
