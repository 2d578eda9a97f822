// Build tool: copies IN to OUT with @Name@ placeholders replaced by the
// values given as Name=value arguments, or as Name:hex=value with the value's
// bytes in hex (so any byte passes the command line unchanged); every other
// byte stays as it is.
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> fromHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]);
        const int lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}
} // namespace

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
        std::string name = arg.substr(0, eq);
        std::string value = arg.substr(eq + 1);
        if (name.size() > 4 && name.ends_with(":hex")) {
            name.resize(name.size() - 4);
            const auto bytes = fromHex(value);
            if (!bytes) {
                std::cerr << "substitute: " << name << ": not a hex byte string\n";
                return 1;
            }
            value = *bytes;
        }
        const std::string key = "@" + name + "@";
        for (auto p = text.find(key); p != std::string::npos; p = text.find(key, p + value.size()))
            text.replace(p, key.size(), value);
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    return out ? 0 : 1;
}
