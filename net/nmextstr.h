#pragma once
// Unit NMExtstr: a string list of header lines ("name: value").
#include <string>
#include <vector>

namespace fb {

class TExStringList {
public:
    std::vector<std::string> Strings;
    bool Sorted = false;

    int Count() const { return static_cast<int>(Strings.size()); }
    void Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { Strings.clear(); }
    const std::string& operator[](int index) const;
    std::string& operator[](int index);
    // Every line followed by CR LF.
    std::string Text() const;
};

// Index of the first line whose text before its first ":" equals name,
// ignoring case; -1 when there is none.
int HeaderIndex(const TExStringList& list, const std::string& name);
// Replaces or appends "name: value"; an empty value deletes the line.
void SetHeader(TExStringList& list, const std::string& name, const std::string& value);

} // namespace fb
