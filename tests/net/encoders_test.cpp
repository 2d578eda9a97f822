// URL encoding, base64 / uuencode lines, header lists.
#include "net/nmextstr.h"
#include "net/nmurl.h"
#include "net/nmuue.h"
#include "platform/errors.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace fb;

namespace {

std::string encodeWith(UUMethods method, const std::string& input) {
    MemoryStream in, out;
    in.write(input.data(), input.size());
    TNMUUProcessor p;
    p.Method = method;
    p.InputStream = &in;
    p.OutputStream = &out;
    int begin = 0, end = 0;
    p.OnBeginEncode = [&](QObject*) { ++begin; };
    p.OnEndEncode = [&](QObject*) { ++end; };
    p.Encode();
    EXPECT_EQ(begin, 1);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(out.position(), 0u);
    return out.bytes();
}

} // namespace

TEST(UrlEncode, LettersDigitsSpaceAndEverythingElse) {
    TNMURL url;
    url.InputString = "Gr\xfc\xdf" "e aus K\xf6ln";
    EXPECT_EQ(url.Encode(), "Gr%FC%DFe+aus+K%F6ln");
    url.InputString = "";
    EXPECT_EQ(url.Encode(), "");
    url.InputString = "100%";
    EXPECT_EQ(url.Encode(), "100%25");
    url.InputString = "a=b&c=d";
    EXPECT_EQ(url.Encode(), "a%3Db%26c%3Dd");
    url.InputString = std::string("+/\0\r\n~-_.", 9);
    EXPECT_EQ(url.Encode(), "%2B%2F%00%0D%0A%7E%2D%5F%2E");
}

TEST(UrlEncode, EveryByteValue) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    std::string encoded = urlEncode(all);
    // Decode independently and compare.
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '+') {
            decoded.push_back(' ');
        } else if (c == '%') {
            ASSERT_LE(i + 2, encoded.size() - 1);
            std::string hex = encoded.substr(i + 1, 2);
            ASSERT_EQ(hex, QByteArray(hex.c_str()).toUpper().toStdString()) << "upper-case hex";
            decoded.push_back(static_cast<char>(std::stoi(hex, nullptr, 16)));
            i += 2;
        } else {
            ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
            decoded.push_back(c);
        }
    }
    EXPECT_EQ(decoded, all);
    EXPECT_EQ(encoded.size(), 62u + 1u + 3u * (256u - 63u));
}

TEST(UrlEncode, LongTextIsEncodedWhole) {
    std::string text(70000, '&');
    EXPECT_EQ(urlEncode(text).size(), 210000u);
}

TEST(Base64, ShortInputsAndPadding) {
    EXPECT_EQ(encodeWith(uuMime, "abc"), "YWJj\r\n");
    EXPECT_EQ(encodeWith(uuMime, "ab"), "YWI=\r\n");
    EXPECT_EQ(encodeWith(uuMime, "a"), "YQ==\r\n");
    EXPECT_EQ(encodeWith(uuMime, ""), "");
}

TEST(Base64, LinesOf45BytesMatchAnIndependentEncoder) {
    std::string data46(46, 'x');
    std::string out = encodeWith(uuMime, data46);
    std::size_t crlf = out.find("\r\n");
    EXPECT_EQ(crlf, 60u);
    EXPECT_EQ(out.substr(62), "eA==\r\n");

    std::string data;
    for (int i = 0; i < 1000; ++i)
        data.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    for (std::size_t n : {1u, 2u, 3u, 44u, 45u, 46u, 89u, 90u, 91u, 1000u}) {
        std::string part = data.substr(0, n);
        std::string lines = encodeWith(uuMime, part);
        std::string joined;
        for (std::size_t pos = 0; pos < lines.size();) {
            std::size_t e = lines.find("\r\n", pos);
            ASSERT_NE(e, std::string::npos);
            ASSERT_LE(e - pos, 60u);
            joined += lines.substr(pos, e - pos);
            pos = e + 2;
        }
        EXPECT_EQ(joined, QByteArray(part.data(), static_cast<int>(n)).toBase64().toStdString()) << n;
    }
}

TEST(UUEncode, LengthCharacterAndClosingLine) {
    EXPECT_EQ(encodeWith(uuCode, "abc"), "#86)C\r\n`\r\n");
    // A short last group gets no filler characters.
    EXPECT_EQ(encodeWith(uuCode, "a"), "!80\r\n`\r\n");
    std::string out = encodeWith(uuCode, std::string(46, '\0'));
    // 45 zero bytes: length "M" then 60 grave accents; then "!" and two.
    EXPECT_EQ(out, "M" + std::string(60, '`') + "\r\n!``\r\n`\r\n");
}

TEST(HeaderList, IndexIgnoresCaseAndLooksBeforeTheFirstColon) {
    TExStringList list;
    list.Add("Host: a");
    list.Add("Accept: x");
    list.Add("content-type: text/html");
    EXPECT_EQ(HeaderIndex(list, "HOST"), 0);
    EXPECT_EQ(HeaderIndex(list, "Content-Type"), 2);
    EXPECT_EQ(HeaderIndex(list, "Cont"), -1);
    EXPECT_EQ(HeaderIndex(list, "a"), -1);

    SetHeader(list, "host", "b");
    EXPECT_EQ(list[0], "host: b");
    EXPECT_EQ(list.Count(), 3);
    SetHeader(list, "Cookie", "c=1");
    EXPECT_EQ(list[3], "Cookie: c=1");
    SetHeader(list, "Cookie", "");
    EXPECT_EQ(list.Count(), 3);
    SetHeader(list, "Missing", "");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Text(), "host: b\r\nAccept: x\r\ncontent-type: text/html\r\n");
    EXPECT_THROW(list[3], EListError);
}

TEST(HeaderList, SortedListIsSearchedByHalving) {
    TExStringList list;
    list.Sorted = true;
    for (const char* s : {"Zeta: 1", "alpha: 2", "Mid: 3", "beta: 4", "Omega: 5"})
        list.Add(s);
    EXPECT_EQ(list[0], "alpha: 2");
    for (const char* name : {"ALPHA", "beta", "mid", "OMEGA", "zeta"})
        EXPECT_GE(HeaderIndex(list, name), 0) << name;
    EXPECT_EQ(HeaderIndex(list, "gamma"), -1);
    SetHeader(list, "MID", "9");
    EXPECT_EQ(list[HeaderIndex(list, "mid")], "MID: 9");
    EXPECT_EQ(list.Count(), 5);
}
