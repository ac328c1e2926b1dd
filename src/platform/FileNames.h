#pragma once

#include <QString>

// `path` with the extension of its file name (the text from the last "." after the last "/")
// replaced by `ext`; a name without one gets `ext` appended. ChangeFileExt("a/b.wav", ".mp3") is
// "a/b.mp3", ChangeFileExt("a.b/c", ".mp3") is "a.b/c.mp3", ChangeFileExt("x.mp3", "jitt") is "xjitt".
QString ChangeFileExt(const QString &path, const QString &ext);

// A file, or a link (a dangling one too, which a write would follow), at path.
bool FileOrLinkExists(const QString &path);

// `text` with each half of a surrogate pair that stands alone made U+FFFD: such text has no UTF-8 form,
// and the file system, the tags and the log would each make something else of it.
QString WellFormedText(const QString &text);
