#pragma once

#include <QString>

#include <functional>

// `path` with the extension of its file name (the text from the last "." after the last "/")
// replaced by `ext`; a name without one gets `ext` appended. ChangeFileExt("a/b.wav", ".mp3") is
// "a/b.mp3", ChangeFileExt("a.b/c", ".mp3") is "a.b/c.mp3", ChangeFileExt("x.mp3", "jitt") is "xjitt".
QString ChangeFileExt(const QString &path, const QString &ext);

// A file, or a link (a dangling one too, which a write would follow), at path.
bool FileOrLinkExists(const QString &path);

class QFileDevice;
class QIODevice;

// Writes the file at `path` anew: `write` fills a new file beside it (a short hidden name, so that a
// name of the longest length still works), which takes the old file's place (a link's too, never its
// target's) only once it is whole on the disk; on any failure the old file stays as it was and the new one
// goes. Empty when the file was written, else why not ("No space left on device").
QString ReplaceFile(const QString &path, const std::function<bool(QFileDevice &file)> &write);

// A writer for ReplaceFile of a file whose start changes (a tag) and whose rest is copied: `head`, then
// what is left to read of `rest`, a mebibyte at a time. False when a write or the reading fails.
bool WriteHeadAndRest(QFileDevice &out, const char *head, qint64 headBytes, QIODevice &rest);
