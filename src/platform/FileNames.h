#pragma once

#include <QString>

// `path` with the extension of its file name (the text from the last "." after the last "/")
// replaced by `ext`; a name without one gets `ext` appended. ChangeFileExt("a/b.wav", ".mp3") is
// "a/b.mp3", ChangeFileExt("a.b/c", ".mp3") is "a.b/c.mp3", ChangeFileExt("x.mp3", "jitt") is "xjitt".
QString ChangeFileExt(const QString &path, const QString &ext);
