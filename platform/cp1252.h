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

} // namespace fb
