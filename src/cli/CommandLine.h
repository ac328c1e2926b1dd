#pragma once

#include <QStringList>

// True when the arguments ask for the command line ("--estrai", "--verifica-registro") rather than the
// window.
bool WantsCommandLine(const QStringList &arguments);

// quarle --estrai [--lettore D] [--formato flac|mp3|wav] [--cartella DIR] [--tracce 1,3-5] [--titoli]
//                 [--sostituisci]
// Rips without a display, over the same session as the window: the drive table, the settings files,
// the proxy page, the lookup, the verification, the log, the names, the tags and the overwrite rule as
// there, except that an existing file is never replaced unless --sostituisci says so. One line per track
// and a summary on stdout, progress on stderr when it is a terminal. Exit code 0 when every track is
// complete, 1 when any failed, was cancelled or has read errors (or nothing was ripped), 2 on bad
// arguments or without the drive. Ctrl-C ends the track in progress ("interrotta") and writes the log.
//
// quarle --verifica-registro FILE
// Checks the signature of a log the program wrote: "registro integro" (exit code 0), "registro alterato"
// (1) or "registro senza firma" (2) on stdout. A file that cannot be read, or of more than 16 MiB (no
// log is), is told on stderr with the reason, exit code 2.
int RunCommandLine(int argc, char **argv);
