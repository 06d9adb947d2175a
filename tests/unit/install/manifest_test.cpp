#include "install/manifest.h"

#include "support/scratch.h"

using testsupport::ScratchDirTest;

using install::ManifestEntry;

namespace {

class Manifest : public ScratchDirTest {
protected:
    bool load(const std::string& xml) {
        writeFile(u"move.xml", xml);
        return install::loadManifest(tree, entries, errorText, sink);
    }
    struct Sink final : install::StepSink {
        void manifestNotLoaded() override { ++notLoaded; }
        int notLoaded = 0;
    } sink;
    std::vector<ManifestEntry> entries;
    std::u16string errorText = u"untouched";
};

TEST_F(Manifest, ReadsTheFileChildrenOfUpdateInDocumentOrder) {
    ASSERT_TRUE(load(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<update version='2'>\n"
        "  <file path=\"bin\\a.dll\" md5=\"0123\"/>\n"
        "  <!-- a comment --> text <other path='x' md5='y'/>\n"
        "  <group><file path='nested' md5='n'/></group>\n"
        "  <file md5='m' path='b&amp;c.txt'>content</file>\n"
        "  <file path='no-md5'/>\n"
        "  <file path='bin\\a.dll' md5='0123'/>\n"
        "</update>\n"));
    EXPECT_EQ(errorText, u"untouched");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].path, u"bin\\a.dll");
    EXPECT_EQ(entries[0].md5, u"0123");
    EXPECT_EQ(entries[1].path, u"b&c.txt");
    EXPECT_EQ(entries[1].md5, u"m");
    EXPECT_EQ(entries[2].path, u"no-md5");
    EXPECT_EQ(entries[2].md5, u"");
    EXPECT_EQ(entries[3].path, u"bin\\a.dll");
}

TEST_F(Manifest, UpdateWithoutFilesIsAnEmptySuccess) {
    EXPECT_TRUE(load("<update/>"));
    EXPECT_TRUE(entries.empty());
}

TEST_F(Manifest, TopLevelElementMustBeNamedUpdateExactly) {
    for (const char* xml : {"<Update><file path='a' md5='b'/></Update>", "<files/>", "<updater/>"}) {
        errorText.clear();
        EXPECT_FALSE(load(xml)) << xml;
        EXPECT_EQ(errorText, u"update err") << xml;
        EXPECT_TRUE(entries.empty());
    }
}

TEST_F(Manifest, MissingOrMalformedManifestIsNotWellFormed) {
    EXPECT_FALSE(install::loadManifest(tree, entries, errorText, sink));
    EXPECT_EQ(errorText, u"WellForme err");
    for (const char* xml : {"<update/><update/>", "<update><file path='a'></update>", ""}) {
        errorText.clear();
        EXPECT_FALSE(load(xml)) << xml;
        EXPECT_EQ(errorText, u"WellForme err") << xml;
    }
    EXPECT_TRUE(entries.empty());
    // Each of them was reported as not loaded; a wrong root loads.
    EXPECT_EQ(sink.notLoaded, 4);
    EXPECT_FALSE(load("<files/>"));
    EXPECT_EQ(sink.notLoaded, 4);
}

}  // namespace
