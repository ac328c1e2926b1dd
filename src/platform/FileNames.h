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

// Makes the folders of `folder` below `base`, the part of it that must be there already, one at a time
// and as the user's new folders are made (modes 0777 less the umask). Empty when they are all there;
// else the folder that could not be made, with the system's reason in `why`.
QString MakeFolders(const QString &base, const QString &folder, QString &why);
