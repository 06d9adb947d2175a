#include <gtest/gtest.h>

#include <string>

#include "platform/utf.h"
#include "xml/tokenizer.h"

namespace xml {
namespace {

// The node stream of a text, one node per entry: a type letter, the name in
// parentheses where the tokenizer gives one, then the node's own text.
std::string nodes(const std::u16string& text) {
    TokenCursor cursor = cursorAt(text.c_str(), 0);
    NodeInfo node;
    std::string out;
    for (int guard = 0; guard < 1000; ++guard) {
        const int32_t type = nextNode(cursor, node);
        EXPECT_EQ(node.type, type);
        EXPECT_EQ(cursor.next, node.start + node.length);
        if (type == NODE_END_OF_DOCUMENT) {
            EXPECT_EQ(node.length, 0);
            return out;
        }
        EXPECT_GT(node.length, 0);
        if (!out.empty()) {
            out += " | ";
        }
        switch (type) {
        case NODE_START_TAG: out += (node.flags & EMPTY_ELEMENT) != 0 ? "S/" : "S"; break;
        case NODE_END_TAG: out += "E"; break;
        case NODE_TEXT: out += "T "; break;
        case NODE_WHITESPACE: out += "W"; break;
        case NODE_CDATA_SECTION: out += "K"; break;
        case NODE_PROCESSING_INSTRUCTION: out += "P"; break;
        case NODE_COMMENT: out += "C"; break;
        case NODE_DOCUMENT_TYPE: out += "D"; break;
        case NODE_SYNTAX_ERROR: out += "X"; break;
        default: out += "?"; break;
        }
        if (type == NODE_START_TAG || type == NODE_END_TAG || type == NODE_PROCESSING_INSTRUCTION) {
            out += "(";
            out += platform::utf16ToUtf8(text.substr(cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1));
            out += ")";
        }
        if (type != NODE_START_TAG) {
            EXPECT_EQ(node.flags, 0u);
        }
        out += platform::utf16ToUtf8(text.substr(node.start, node.length));
    }
    ADD_FAILURE() << "no end of document";
    return out;
}

TEST(Tokenizer, EmptyTextEndsAtOnce) {
    EXPECT_EQ(nodes(u""), "");
    const char16_t* empty = u"";
    TokenCursor cursor = cursorAt(empty, 0);
    NodeInfo node{7, 7, 7, 7};
    EXPECT_EQ(nextNode(cursor, node), NODE_END_OF_DOCUMENT);
    EXPECT_EQ(node.start, 0);
    EXPECT_EQ(node.length, 0);
    EXPECT_EQ(node.flags, 0u);
    // Asking again at the end gives the end again.
    EXPECT_EQ(nextNode(cursor, node), NODE_END_OF_DOCUMENT);
}

TEST(Tokenizer, TextAndWhitespace) {
    EXPECT_EQ(nodes(u"a>b<c/>"), "T a> | T b | S/(c)<c/>");
    EXPECT_EQ(nodes(u" \t\r\n<a>"), "W \t\r\n | S(a)<a>");
    EXPECT_EQ(nodes(u"  "), "W  ");
    // Whitespace turns into text at its first other code unit, and a ">" in
    // that place does not end the text.
    EXPECT_EQ(nodes(u"  x y<a>"), "T   x y | S(a)<a>");
    EXPECT_EQ(nodes(u" >x>y"), "T  >x> | T y");
    EXPECT_EQ(nodes(u">>"), "T >>");
    // Other control characters are not whitespace.
    EXPECT_EQ(nodes(u"\v\f"), "T \v\f");
}

TEST(Tokenizer, StartAndEndTags) {
    EXPECT_EQ(nodes(u"<a><b x='1' y=\"2\"></b></a>"),
              "S(a)<a> | S(b)<b x='1' y=\"2\"> | E(b)</b> | E(a)</a>");
    EXPECT_EQ(nodes(u"<a\tx='1'\n/>"), "S/(a)<a\tx='1'\n/>");
    EXPECT_EQ(nodes(u"</a  >"), "E(a)</a  >");
    EXPECT_EQ(nodes(u"</>"), "E()</>");
    // A "<" inside a start tag is an ordinary character.
    EXPECT_EQ(nodes(u"<a <b>"), "S(a)<a <b>");
    // Names: every code unit up to whitespace, "/" or ">".
    EXPECT_EQ(nodes(u"<a:b.c-d=e[1]>"), "S(a:b.c-d=e[1])<a:b.c-d=e[1]>");
    EXPECT_EQ(nodes(u"<_x/><:y/><{z}/><\u00e9t\u00e9/><\u4e2d/>"),
              "S/(_x)<_x/> | S/(:y)<:y/> | S/({z})<{z}/> | S/(\u00e9t\u00e9)<\u00e9t\u00e9/> | "
              "S/(\u4e2d)<\u4e2d/>");
}

TEST(Tokenizer, QuotedValuesProtectTheClosingBracket) {
    EXPECT_EQ(nodes(u"<a x='>'>"), "S(a)<a x='>'>");
    EXPECT_EQ(nodes(u"<a x = \">'\" y='\">'>"), "S(a)<a x = \">'\" y='\">'>");
    EXPECT_EQ(nodes(u"<a x=>>"), "S(a)<a x=> | T >");
    // Without "=" a quote opens nothing; an unquoted value protects nothing.
    EXPECT_EQ(nodes(u"<a 'x>'>"), "S(a)<a 'x> | T '>");
    EXPECT_EQ(nodes(u"<a x=b'>'>"), "S(a)<a x=b'> | T '>");
    // "==" makes the second "=" the start of an unquoted value.
    EXPECT_EQ(nodes(u"<a x=='>'>"), "S(a)<a x=='> | T '>");
    // An unterminated quoted value swallows the rest of the text.
    EXPECT_EQ(nodes(u"<a x='>"), "X<a x='>");
}

TEST(Tokenizer, EmptyElements) {
    EXPECT_EQ(nodes(u"<a/>"), "S/(a)<a/>");
    EXPECT_EQ(nodes(u"<a />"), "S/(a)<a />");
    EXPECT_EQ(nodes(u"<a x='1'/>"), "S/(a)<a x='1'/>");
    EXPECT_EQ(nodes(u"<a x=\"1\"/>"), "S/(a)<a x=\"1\"/>");
    EXPECT_EQ(nodes(u"<a x=1 />"), "S/(a)<a x=1 />");
    EXPECT_EQ(nodes(u"<a x/>"), "S/(a)<a x/>");
    // The "/" belongs to the unquoted value "1/".
    EXPECT_EQ(nodes(u"<a x=1/>"), "S(a)<a x=1/>");
    EXPECT_EQ(nodes(u"<a x=/>"), "S(a)<a x=/>");
    EXPECT_EQ(nodes(u"<a/x>"), "S(a)<a/x>");
    EXPECT_EQ(nodes(u"<a x='/>'>"), "S(a)<a x='/>'>");
}

TEST(Tokenizer, UnterminatedNodesAreSyntaxErrors) {
    EXPECT_EQ(nodes(u"<a"), "X<a");
    EXPECT_EQ(nodes(u"<"), "X<");
    EXPECT_EQ(nodes(u"x<"), "T x | X<");
    EXPECT_EQ(nodes(u"</a"), "X</a");
    EXPECT_EQ(nodes(u"<?xml"), "X<?xml");
    EXPECT_EQ(nodes(u"<!-- x"), "X<!-- x");
    EXPECT_EQ(nodes(u"<![CDATA[x]]"), "X<![CDATA[x]]");
    EXPECT_EQ(nodes(u"<!DOCTYPE r"), "X<!DOCTYPE r");
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!ELEMENT r 'x>"), "X<!DOCTYPE r [<!ELEMENT r 'x>");
    EXPECT_EQ(nodes(u"<!"), "X<!");
    EXPECT_EQ(nodes(u"<!-"), "X<!-");
}

TEST(Tokenizer, BadTagsSwallowTheRestOfTheTag) {
    EXPECT_EQ(nodes(u"<1>"), "X<1>");
    EXPECT_EQ(nodes(u"< a>"), "X< a>");
    EXPECT_EQ(nodes(u"<>"), "X<>");
    EXPECT_EQ(nodes(u"<=x>"), "X<=x>");
    EXPECT_EQ(nodes(u"<!x>"), "X<!x>");
    EXPECT_EQ(nodes(u"<!-x>"), "X<!-x>");
    EXPECT_EQ(nodes(u"<![x>"), "X<![x>");
    EXPECT_EQ(nodes(u"<!>"), "X<!>");
    // A bad tag ends before the next "<", and its quoted values protect ">".
    EXPECT_EQ(nodes(u"<1 <a>"), "X<1  | S(a)<a>");
    EXPECT_EQ(nodes(u"<<a>"), "X< | S(a)<a>");
    EXPECT_EQ(nodes(u"<1 x='>'>"), "X<1 x='>'>");
    EXPECT_EQ(nodes(u"<1 x='<a>"), "X<1 x=' | S(a)<a>");
}

TEST(Tokenizer, ProcessingInstructions) {
    EXPECT_EQ(nodes(u"<?xml version='1.0'?>"), "P(xml)<?xml version='1.0'?>");
    EXPECT_EQ(nodes(u"<?xml?>"), "P(xml?)<?xml?>");
    // A ">" without "?" before it does not end it.
    EXPECT_EQ(nodes(u"<?pi a>b?><r/>"), "P(pi)<?pi a>b?> | S/(r)<r/>");
    // The ">" must lie past offset 2 of the text: at the very start "<?>" is
    // not closed by its own "?", anywhere else it is; "<??>" always is.
    EXPECT_EQ(nodes(u"<?>"), "X<?>");
    EXPECT_EQ(nodes(u"<?>?>"), "P()<?>?>");
    EXPECT_EQ(nodes(u"<r><?></r>"), "S(r)<r> | P()<?> | E(r)</r>");
    EXPECT_EQ(nodes(u" <?>"), "W  | P()<?>");
    EXPECT_EQ(nodes(u"<?" u"?>"), "P(?)<?" "?>");
}

TEST(Tokenizer, CommentsAndCdata) {
    EXPECT_EQ(nodes(u"<!-- a > b -- c -->x"), "C<!-- a > b -- c --> | T x");
    EXPECT_EQ(nodes(u"<!-->"), "C<!-->");
    EXPECT_EQ(nodes(u"<!--->"), "C<!--->");
    EXPECT_EQ(nodes(u"<!-- <a> -->"), "C<!-- <a> -->");
    EXPECT_EQ(nodes(u"<![CDATA[<a>]>]]>"), "K<![CDATA[<a>]>]]>");
    // Only the "C" is looked at.
    EXPECT_EQ(nodes(u"<![Cxx]]>"), "K<![Cxx]]>");
    EXPECT_EQ(nodes(u"<![C]]>"), "K<![C]]>");
}

TEST(Tokenizer, DocumentTypes) {
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!ELEMENT r ANY>]>"), "D<!DOCTYPE r [<!ELEMENT r ANY>]>");
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!X>]>"), "D<!DOCTYPE r [<!X>]>");
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!ENTITY e 'a>b'><!ATTLIST r x CDATA \"'>\">]><r/>"),
              "D<!DOCTYPE r [<!ENTITY e 'a>b'><!ATTLIST r x CDATA \"'>\">]> | S/(r)<r/>");
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!NOTATION n SYSTEM 'n'><!-- c > d --><?pi x?>]>"),
              "D<!DOCTYPE r [<!NOTATION n SYSTEM 'n'><!-- c > d --><?pi x?>]>");
    // Inner faults and tags keep the document type one node.
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!DOCTYPE x><![CDATA[y]><1><a b='>'></a><!-x>]>"),
              "D<!DOCTYPE r [<!DOCTYPE x><![CDATA[y]><1><a b='>'></a><!-x>]>");
    EXPECT_EQ(nodes(u"<!DOCTYPE r [<!x <!ELEMENT r ANY>]>"), "D<!DOCTYPE r [<!x <!ELEMENT r ANY>]>");
    // Quotes outside inner declarations do not protect ">".
    EXPECT_EQ(nodes(u"<!DOCTYPE r SYSTEM 'a>b'>"), "D<!DOCTYPE r SYSTEM 'a> | T b'>");
    EXPECT_EQ(nodes(u"<!D>"), "D<!D>");
}

TEST(WordScanner, SkipWhitespace) {
    const char16_t* text = u" \t\r\nab";
    TokenCursor cursor = cursorAt(text, 0);
    EXPECT_TRUE(skipWhitespace(cursor));
    EXPECT_EQ(cursor.next, 4);
    EXPECT_EQ(cursor.tokenStart, 4);
    EXPECT_EQ(cursor.tokenEnd, 3);
    const char16_t* blank = u"  ";
    TokenCursor atEnd = cursorAt(blank, 0);
    EXPECT_FALSE(skipWhitespace(atEnd));
    EXPECT_EQ(atEnd.next, 2);
}

TEST(WordScanner, NextTokenSplitsAtEveryDelimiter) {
    const std::u16string text = u" file path=\"a b\"/x\\y;z!w?v<u>t'  ";
    TokenCursor cursor = cursorAt(text.c_str(), 0);
    std::string words;
    while (nextToken(cursor)) {
        words += "[";
        words += platform::utf16ToUtf8(text.substr(cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1));
        words += "]";
        EXPECT_EQ(cursor.next, cursor.tokenEnd + 1);
    }
    EXPECT_EQ(words, "[file][path][=][\"][a][b][\"][/][x][\\][y][;][z][!][w][?][v][<][u][>][t][']");
    EXPECT_EQ(cursor.next, int32_t(text.size()));
}

TEST(WordScanner, TokenIs) {
    const char16_t* text = u"file FILE";
    TokenCursor cursor = cursorAt(text, 0);
    ASSERT_TRUE(nextToken(cursor));
    EXPECT_TRUE(tokenIs(cursor, u"file"));
    EXPECT_TRUE(tokenIs(cursor, u"file/x"));
    EXPECT_TRUE(tokenIs(cursor, u"file[2]"));
    EXPECT_TRUE(tokenIs(cursor, u"file=1"));
    EXPECT_TRUE(tokenIs(cursor, u"file x"));
    EXPECT_TRUE(tokenIs(cursor, u"file]"));
    EXPECT_FALSE(tokenIs(cursor, u"files"));
    EXPECT_FALSE(tokenIs(cursor, u"fil"));
    EXPECT_FALSE(tokenIs(cursor, u"file\tx"));
    EXPECT_FALSE(tokenIs(cursor, u"File"));
    EXPECT_FALSE(tokenIs(cursor, nullptr));
    ASSERT_TRUE(nextToken(cursor));
    EXPECT_FALSE(tokenIs(cursor, u"file"));
    cursor.flags = CURSOR_IGNORE_CASE;
    EXPECT_TRUE(tokenIs(cursor, u"file"));
    EXPECT_TRUE(tokenIs(cursor, u"FiLe"));
    EXPECT_FALSE(tokenIs(cursor, u"fild"));
    // The empty token matches an empty name only.
    TokenCursor empty = cursorAt(text, 0);
    EXPECT_TRUE(tokenIs(empty, u""));
    EXPECT_TRUE(tokenIs(empty, u"/x"));
    EXPECT_FALSE(tokenIs(empty, u"x"));
}

}  // namespace
}  // namespace xml
