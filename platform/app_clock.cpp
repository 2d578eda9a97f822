#include "platform/app_clock.h"

#include <QDate>

namespace fb {
namespace {
DateSource& source() {
    static DateSource s;
    return s;
}
} // namespace

LocalDate today() {
    if (source())
        return source()();
    QDate d = QDate::currentDate();
    return {d.year(), d.month(), d.day()};
}

void setDateSource(DateSource s) { source() = std::move(s); }

} // namespace fb
