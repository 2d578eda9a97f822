// Build tool: copies IN to OUT with @Name@ placeholders replaced by the
// values given as Name=value arguments; every other byte stays as it is.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: substitute IN OUT [Name=value...]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "substitute: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = "@" + arg.substr(0, eq) + "@";
        const std::string value = arg.substr(eq + 1);
        for (auto p = text.find(key); p != std::string::npos; p = text.find(key, p + value.size()))
            text.replace(p, key.size(), value);
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    return out ? 0 : 1;
}
