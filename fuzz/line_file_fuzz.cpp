// The line-list files: the input is a file's bytes. Reads it as lines, and
// writes the lines back through every writer (replacing, exclusive create,
// numbered answer file, under a Windows-1252 name taken from the input),
// reading each result again. Nothing may be lost or changed on the way and
// no temporary file may be left behind.
#include "engine/answer_files.h"
#include "engine/line_file.h"
#include "engine/text_lines.h"
#include "fuzz_util.h"

#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace {

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..")
                names.insert(n);
        }
        ::closedir(d);
    }
    return names;
}

void clear(const std::string& dir) {
    for (const std::string& n : filesIn(dir))
        ::unlink((dir + "/" + n).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = fbfuzz::scratchDirectory();
    clear(dir);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Reading: the file and the bytes in memory give the same lines, and none
    // of them holds a line end or a NUL.
    const std::string input = dir + "/input.prt";
    fbfuzz::writeBytes(input, bytes);
    const std::vector<std::string> lines = fb::readLineFile(input);
    FUZZ_CHECK(lines == fb::splitLines(bytes));
    for (const std::string& l : lines)
        FUZZ_CHECK(l.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    FUZZ_CHECK(fb::splitLines(fb::joinLines(lines)) == lines);

    // Replacing a file: the new content whole, twice over.
    const std::string prt = dir + "/bogen.prt";
    fb::writeLineFile(prt, lines);
    FUZZ_CHECK(fb::readFileBytes(prt) == fb::joinLines(lines));
    std::vector<std::string> longer = lines;
    longer.push_back("PAGE W60");
    fb::writeLineFile(prt, longer);
    FUZZ_CHECK(fb::readLineFile(prt) == longer);

    // Exclusive create: once, and never over an existing file.
    const std::string excl = dir + "/00000007.bgn";
    FUZZ_CHECK(fb::createLineFileExclusive(excl, lines));
    FUZZ_CHECK(!fb::createLineFileExclusive(excl, longer));
    FUZZ_CHECK(fb::readLineFile(excl) == lines);

    // A name in Windows-1252 from the first line (no slash, never "." or "..").
    std::string name = "n-";
    for (char c : lines.empty() ? std::string() : lines.front().substr(0, 60))
        if (c != '/')
            name += c;
    const std::string named = dir + "/" + name;
    fb::writeLineFile(named, lines);
    FUZZ_CHECK(fb::fileExists(named));
    FUZZ_CHECK(fb::readLineFile(named) == lines);
    fb::deleteFile(named);
    FUZZ_CHECK(!fb::fileExists(named));

    // Numbered answer files in the working directory: the first free numbers,
    // holding the answers joined into one line.
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    FUZZ_CHECK(home >= 0 && ::chdir(dir.c_str()) == 0);
    const int first = fb::writeAnswerFile(lines);
    const int second = fb::writeAnswerFile(longer);
    FUZZ_CHECK(::fchdir(home) == 0);
    ::close(home);
    FUZZ_CHECK(first == 0 && second == 1);
    FUZZ_CHECK(fb::readLineFile(dir + "/" + fb::answerFileName(0)) == std::vector<std::string>{fb::joinAnswers(lines)});
    FUZZ_CHECK(fb::readFileBytes(dir + "/" + fb::answerFileName(1)) == fb::joinAnswers(longer) + "\r\n");

    // Only the files written above are left.
    const std::set<std::string> expected{"input.prt", "bogen.prt", "00000007.bgn", "00000000.bgn", "00000001.bgn"};
    FUZZ_CHECK(filesIn(dir) == expected);
    clear(dir);
    return 0;
}
