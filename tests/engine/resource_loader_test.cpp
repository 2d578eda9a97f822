#include "engine/resource_loader.h"

#include <gtest/gtest.h>

using namespace fb;

namespace {
const unsigned char kScript[] = "PAGE Person1\r\n";
const unsigned char kPicture[] = {0xFF, 0xD8, 0xFF, 0xD9};
const ResourceEntry kEntries[] = {{"TXT", "BOGEN", kScript, sizeof kScript - 1},
                                  {"JPG", "BILD006", kPicture, sizeof kPicture}};
const ResourceStore kStore{std::span<const ResourceEntry>(kEntries, 2)};
} // namespace

TEST(ResourceLoader, TypeAndNameFromTheFileName) {
    EXPECT_EQ(resourceIdFor("bogen.txt").type, "TXT");
    EXPECT_EQ(resourceIdFor("bogen.txt").name, "bogen");
    EXPECT_EQ(resourceIdFor("hilfe1.htm").type, "HTML");
    EXPECT_EQ(resourceIdFor("hilfe1.html").type, "HTML");
    EXPECT_EQ(resourceIdFor("a.b.jpg").name, "a.b");
    EXPECT_EQ(resourceIdFor("noext").type, "");
    EXPECT_EQ(resourceIdFor("dir.x/file").type, "");
}

TEST(ResourceLoader, CaseInsensitiveAndStreamReplaced) {
    MemoryStream stream;
    loadResourceFile(kStore, "bogen.txt", stream);
    EXPECT_EQ(stream.bytes(), "PAGE Person1\r\n");
    stream.setPosition(3);
    for (const char* name : {"BILD006.JPG", "Bild006.jpg", "bild006.jpg"}) {
        loadResourceFile(kStore, name, stream);
        EXPECT_EQ(stream.size(), sizeof kPicture);
        EXPECT_EQ(stream.position(), 0u);
        EXPECT_EQ(static_cast<unsigned char>(stream.bytes()[0]), 0xFF);
    }
}

TEST(ResourceLoader, MissingResourceKeepsTheStream) {
    MemoryStream stream;
    loadResourceFile(kStore, "bogen.txt", stream);
    auto fails = [&](const std::string& file, const std::string& message) {
        try {
            loadResourceFile(kStore, file, stream);
            FAIL() << file;
        } catch (const EResNotFound& e) {
            EXPECT_EQ(e.message(), message);
        }
        EXPECT_EQ(stream.bytes(), "PAGE Person1\r\n");
    };
    fails("bild999.jpg", "Can't load resource: bild999");
    fails("hilfe1.htm", "Can't load resource: hilfe1");
    fails("bogen", "Can't load resource: bogen");
    fails("sub/bogen.txt", "Can't load resource: sub/bogen");
}
