#pragma once

#include <QByteArray>

// The log's signature: a last line "SHA-256 del registro: <64 lowercase hex digits>\n" holding the SHA-256
// of every byte before it. It tells a log that was edited (a verdict changed, a line taken out) from the
// one the program wrote; it is no proof of who wrote it, as anyone can sign a text again.

// The text with its signature line after it. A text that does not end in "\n" gets one first, and that
// "\n" is part of what is signed.
QByteArray SignLog(const QByteArray &text);

enum class TLogCheck { Intact, Altered, Unsigned };

// Unsigned when the last line (a final "\n" or not) does not start with "SHA-256 del registro: ".
// Otherwise Intact when its digits (either case) are the SHA-256 of the bytes before that line, and
// Altered when they are not or are no SHA-256 at all (a wrong length, a character that is no hex digit).
// The bytes are compared as they are: a log that an editor saved again with "\r\n" line ends is Altered
// (its signature line is still found, with a "\r" that is no hex digit).
TLogCheck CheckLog(const QByteArray &bytes);
