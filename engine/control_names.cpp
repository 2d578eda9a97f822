#include "engine/control_names.h"

#include "engine/text_lines.h"
#include "platform/cp1252.h"

namespace fb {

void describeControl(QWidget& w, const std::string& text) {
    const QString t = fromCp1252(text);
    w.setAccessibleName(t);
    w.setAccessibleDescription(t); // lists do not fall back on the tooltip
    w.setToolTip(t);
}

std::string ratingBoxName(bool funniness, int position) {
    const std::string n = std::to_string(position);
    return funniness ? "Witzigkeit " + n + " von 7 (1 = nicht witzig, 7 = sehr witzig)"
                     : "Ablehnung " + n + " von 7 (1 = keine Ablehnung, 7 = starke Ablehnung)";
}

std::string dayHourBoxName(const std::vector<std::string>& numbers, int i) {
    const auto k = static_cast<std::size_t>(i);
    return numbers.at(k) + " bis " + numbers.at(k + 1) + " Uhr";
}

std::string quarterHourBoxName(const std::vector<std::string>& numbers, int i) {
    static const char* const minutes[] = {"00", "15", "30", "45"};
    const auto hour = static_cast<std::size_t>(i / 4);
    const int quarter = i % 4;
    const std::string from = numbers.at(hour) + ":" + minutes[quarter];
    const std::string to = quarter == 3 ? numbers.at(hour + 1) + ":00" : numbers.at(hour) + ":" + minutes[quarter + 1];
    return from + " bis " + to + " Uhr";
}

std::string cartoonName(const std::string& keywordLine) { return "Cartoon " + fromPosition(keywordLine, 10); }

} // namespace fb
