#pragma once
// The export's files as one set: each is written to a temporary in the output
// folder, and only when every one is complete and on disk are they renamed
// into place. A failure on the way removes the temporaries and leaves the
// earlier export as it was, so daten.csv and labels.sps always belong
// together.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fb::exporter {

class OutputFile {
public:
    void write(std::string_view bytes); // buffered; throws fb::Exception
    const std::string& name() const { return name_; }

private:
    friend class OutputSet;
    OutputFile(std::string name, std::string temp);
    void flush();
    std::string name_; // in the output folder
    std::string temp_; // full path of the temporary
    int fd_ = -1;
    std::string buffer_;
};

class OutputSet {
public:
    explicit OutputSet(std::string dir);
    ~OutputSet(); // removes the temporaries unless commit() succeeded
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    OutputFile& add(const std::string& name); // throws fb::Exception
    // A file of an earlier export that the new set has no part in; it goes
    // when the set is committed.
    void drop(const std::string& name);
    // Syncs every temporary, then renames them into place; on failure puts
    // back what was renamed already and throws fb::Exception.
    void commit();
    std::string path(const std::string& name) const;

private:
    std::string dir_;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::vector<std::string> dropped_;
    bool committed_ = false;
};

} // namespace fb::exporter
