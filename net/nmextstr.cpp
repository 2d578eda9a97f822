#include "net/nmextstr.h"

#include "platform/errors.h"

#include <algorithm>

namespace fb {

namespace {

int compareNoCase(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string nameOf(const std::string& line) { return line.substr(0, line.find(':')); }

} // namespace

void TExStringList::Add(const std::string& s) {
    if (!Sorted) {
        Strings.push_back(s);
        return;
    }
    auto at = std::lower_bound(Strings.begin(), Strings.end(), s,
                               [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
    Strings.insert(at, s);
}

void TExStringList::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count())
        throw EListError(index);
    Strings.insert(Strings.begin() + index, s);
}

void TExStringList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError(index);
    Strings.erase(Strings.begin() + index);
}

const std::string& TExStringList::operator[](int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return Strings[static_cast<std::size_t>(index)];
}

std::string& TExStringList::operator[](int index) {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return Strings[static_cast<std::size_t>(index)];
}

std::string TExStringList::Text() const {
    std::string text;
    for (const auto& s : Strings) {
        text += s;
        text += "\r\n";
    }
    return text;
}

int HeaderIndex(const TExStringList& list, const std::string& name) {
    if (list.Sorted) {
        // Halving over the names; then back to the first of equal names.
        int lo = 0, hi = list.Count() - 1, found = -1;
        while (lo <= hi) {
            int mid = (lo + hi) / 2;
            int c = compareNoCase(nameOf(list.Strings[static_cast<std::size_t>(mid)]), name);
            if (c < 0) {
                lo = mid + 1;
            } else {
                if (c == 0)
                    found = mid;
                hi = mid - 1;
            }
        }
        return found;
    }
    for (int i = 0; i < list.Count(); ++i)
        if (compareNoCase(nameOf(list.Strings[static_cast<std::size_t>(i)]), name) == 0)
            return i;
    return -1;
}

void SetHeader(TExStringList& list, const std::string& name, const std::string& value) {
    int index = HeaderIndex(list, name);
    if (value.empty()) {
        if (index >= 0)
            list.Delete(index);
        return;
    }
    std::string line = name + ": " + value;
    if (index >= 0) {
        if (list.Sorted) {
            list.Delete(index);
            list.Add(line);
        } else {
            list[index] = line;
        }
    } else {
        list.Add(line);
    }
}

} // namespace fb
