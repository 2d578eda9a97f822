// The send dialog's reading of an answer file: the input is the file. Reads
// it as the dialog does and checks the state, name and e-mail it shows
// against what the file holds.
#include "engine/line_file.h"
#include "engine/text_lines.h"
#include "fuzz_util.h"
#include "submit/answer_file_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fbfuzz::scratchDirectory() + "/00000000.bgn";
    fbfuzz::writeBytes(path, bytes);
    const std::vector<std::string> lines = fb::readLineFile(path);
    const fb::AnswerFileSummary s = fb::summarizeAnswerFile(lines);

    switch (s.state) {
    case fb::AnswerFileState::Defective:
        FUZZ_CHECK(lines.empty() || lines.size() > 2);
        FUZZ_CHECK(s.name.empty() && s.email.empty());
        return 0;
    case fb::AnswerFileState::Unsent: FUZZ_CHECK(lines.size() == 1); break;
    case fb::AnswerFileState::Sent: FUZZ_CHECK(lines.size() == 2); break;
    }
    const std::string& first = lines.front();
    const std::size_t nameMarker = first.find("&Name=");
    const std::size_t mailMarker = first.find("&Email=");
    // The name: what stands between the first "&Name=" and the first
    // "&Email="; a missing marker counts as position 0 (1-based), so without
    // "&Email=" the name is empty.
    const long long n = nameMarker == std::string::npos ? 0 : static_cast<long long>(nameMarker) + 1;
    const long long e = mailMarker == std::string::npos ? 0 : static_cast<long long>(mailMarker) + 1;
    const long long from = n + 5, count = e - (n + 6);
    const std::string name = count <= 0 || from >= static_cast<long long>(first.size())
                                 ? std::string()
                                 : first.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(count));
    FUZZ_CHECK(s.name == name);
    if (nameMarker != std::string::npos && mailMarker != std::string::npos && mailMarker >= nameMarker + 6)
        FUZZ_CHECK(s.name == first.substr(nameMarker + 6, mailMarker - nameMarker - 6));
    // The e-mail: from the first "&Email=" to the next field.
    if (mailMarker == std::string::npos) {
        FUZZ_CHECK(s.email.empty());
    } else {
        const std::string after = first.substr(mailMarker + 7);
        FUZZ_CHECK(s.email == after.substr(0, after.find('&')));
    }
    return 0;
}
