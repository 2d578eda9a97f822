#pragma once
// What a screen reader says and a tooltip shows for each control of a page.
// The texts are built as Windows-1252 bytes and converted only when set.
#include <QWidget>
#include <string>
#include <vector>

namespace fb {

// Gives w the text as its accessible name, description and tooltip.
void describeControl(QWidget& w, const std::string& text);

// Box at position 1 to 7 of the funniness row or of the rejection row.
std::string ratingBoxName(bool funniness, int position);

// Box i of a day-hour scale, from the hour numbers as its labels show them.
std::string dayHourBoxName(const std::vector<std::string>& numbers, int i);

// Box i (four per hour) of a quarter-hour scale, from the hour labels' texts,
// so the names say the hours as the participant reads them (24 for midnight).
std::string quarterHourBoxName(const std::vector<std::string>& numbers, int i);

// "Cartoon" and the item name of a "SKALA.WP" line.
std::string cartoonName(const std::string& keywordLine);

} // namespace fb
