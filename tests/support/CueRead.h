#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>

// What libcdio's CUE parser reads of a sheet, as one line: "MCN <mcn>; <track> <isrc>[ PRE] "<title>"
// <INDEX 00 in its file, or ->; ...".
QString ReadCueByLibcdio(const QString &sheet);

// As a player places the sheet's indexes on the disc: each FILE after the previous one (its length in
// sectors as sectorsOf tells), a PREGAP as silence before the track's INDEX 01. Track -> index -> LSN,
// and the lead-out as track 0.
std::map<int, std::map<int, int32_t>> PlaceCueIndexes(const QString &sheet,
                                                      const std::function<int32_t(const QString &file)> &sectorsOf);

// The sectors of a raw or WAV file, by its size.
int32_t SectorsBySize(const QString &file);
