#pragma once

#include <QString>

#include <map>
#include <string>

// The text frames of an MP3 file's ID3v2 tag as TagLib reads them ("TIT2" -> "Intro"), and the tag's
// version under the key "version" ("4" for ID3v2.4). Empty when the file has no ID3v2 tag.
std::map<std::string, std::string> ReadId3Frames(const QString &path);
