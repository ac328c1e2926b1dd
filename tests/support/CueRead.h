#pragma once

#include <QString>

// What libcdio's CUE parser reads of a sheet, as one line: "MCN <mcn>; <track> <isrc>[ PRE] "<title>"
// <INDEX 00 in its file, or ->; ...".
QString ReadCueByLibcdio(const QString &sheet);
