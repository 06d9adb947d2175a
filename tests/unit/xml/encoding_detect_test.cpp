#include "xml/encoding_detect.h"

#include <gtest/gtest.h>

namespace xml {
namespace {

TEST(DetectEncoding, XmlDeclarationAtTheStart) {
    EXPECT_EQ(detectEncoding(u"<?xml version=\"1.0\" encoding=\"GB2312\"?><r/>"), u"GB2312");
    EXPECT_EQ(detectEncoding(u"<?XML ENCODING='utf-8'?>"), u"utf-8");
    EXPECT_EQ(detectEncoding(u"<?xml encoding = \"Shift_JIS\" version=\"1.0\"?>"), u"Shift_JIS");
    // The name as written: no trimming, no entity decoding.
    EXPECT_EQ(detectEncoding(u"<?xml version='1.0' encoding=' big5&amp;'?>"), u" big5&amp;");
}

TEST(DetectEncoding, DeclarationWithoutEncodingEndsTheSearch) {
    EXPECT_EQ(detectEncoding(u"<?xml version=\"1.0\"?><r/>"), u"");
    EXPECT_EQ(detectEncoding(u"<?xml version=\"1.0\"?><html><head><meta http-equiv=\"Content-Type\" "
                             u"content=\"text/html; charset=big5\"></head></html>"),
              u"");
}

TEST(DetectEncoding, OnlyADeclarationAtOffsetZeroCounts) {
    EXPECT_EQ(detectEncoding(u" <?xml encoding=\"x\"?>"), u"");
    EXPECT_EQ(detectEncoding(u"<!-- c --><?xml encoding=\"x\"?><r/>"), u"");
    // Another processing instruction first is passed over, then <r> ends it.
    EXPECT_EQ(detectEncoding(u"<?xml-stylesheet href='a' encoding='x'?><r/>"), u"");
}

TEST(DetectEncoding, HtmlMetaContentType) {
    EXPECT_EQ(detectEncoding(u"<html><head><meta http-equiv=\"content-type\" "
                             u"content=\"text/html; charset=UTF-8\"></head></html>"),
              u"UTF-8");
    EXPECT_EQ(detectEncoding(u"<!DOCTYPE html>\r\n<HTML><HEAD><TITLE>t</TITLE>"
                             u"<META name=x><META HTTP-EQUIV='Content-Type' CONTENT='text/html;CHARSET=gbk'>"),
              u"gbk");
    EXPECT_EQ(detectEncoding(u"<html><meta http-equiv=Content-Type content=charset=koi8-r>"), u"koi8-r");
}

TEST(DetectEncoding, HtmlMetaThatDeclaresNothing) {
    EXPECT_EQ(detectEncoding(u"<html><head></head><meta http-equiv=\"Content-Type\" "
                             u"content=\"text/html; charset=big5\">"),
              u"");
    EXPECT_EQ(detectEncoding(u"<html><meta charset=\"UTF-8\">"), u"");
    EXPECT_EQ(detectEncoding(u"<r><meta http-equiv=\"Content-Type\" content=\"charset=x\"></r>"), u"");
    // A Content-Type meta without content, or with no charset in it, ends the search.
    EXPECT_EQ(detectEncoding(u"<html><meta http-equiv=\"Content-Type\"><meta http-equiv=\"Content-Type\" "
                             u"content=\"charset=x\">"),
              u"");
    EXPECT_EQ(detectEncoding(u"<html><meta http-equiv=\"Content-Type\" content=\"text/html\">"
                             u"<meta http-equiv=\"Content-Type\" content=\"charset=x\">"),
              u"");
    // "charset=" at the very end of the value: the closing quote is no name.
    EXPECT_EQ(detectEncoding(u"<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=\">"), u"");
}

TEST(DetectEncoding, SyntaxErrorOrNothingFirst) {
    EXPECT_EQ(detectEncoding(u"<1><?xml encoding=\"x\"?>"), u"");
    EXPECT_EQ(detectEncoding(u""), u"");
    EXPECT_EQ(detectEncoding(u"plain text"), u"");
}

}  // namespace
}  // namespace xml
