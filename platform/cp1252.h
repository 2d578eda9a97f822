#pragma once
// Conversion between the program's 8-bit Windows-1252 byte strings and Qt's
// Unicode strings. Only the UI layer converts; everything else keeps bytes.
#include <QString>
#include <string>

namespace fb {

QString fromCp1252(const std::string& bytes);

// Characters Windows-1252 cannot hold are replaced by '?' and *ok is cleared.
std::string toCp1252(const QString& text, bool* ok = nullptr);

bool isCp1252(QChar c);

// Text made fit for a one-line answer: every run of line breaks (CR LF, LF,
// CR and the Unicode line and paragraph separators) becomes one blank, a tab
// or other control character a blank, and a character that Windows-1252
// cannot hold a '?' (one per character, also for one outside the Basic
// Multilingual Plane); *replaced tells whether a '?' was put in. Combining
// accents are joined to their letters first, so "e" + U+0301 stays "é".
QString oneStorableLine(const QString& text, bool* replaced = nullptr);

} // namespace fb
