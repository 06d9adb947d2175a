// Code pages that documents may name, and the glibc converter for each.
//
// Converters are chosen so that the ASCII range reads as Windows reads it:
// 932 is CP932, not SHIFT_JIS (which makes 0x5C a yen sign and breaks
// backslash paths); JOHAB turns 0x5C into a won sign and is mended in
// code_page.cpp. The ISO 646 national variants (20106-20108) differ from
// ASCII on Windows too.
//
// Code pages of the encoding-name table with no converter on Linux; they
// convert to nothing (0, empty text), as an unsupported code page does on
// Windows:
//   720 (DOS-720), 853, 10001 (x-mac-japanese), 10002 (x-mac-chinesetrad),
//   10003 (x-mac-korean), 10004 (x-mac-arabic), 10005 (x-mac-hebrew),
//   10006 (x-mac-greek), 10008 (x-mac-chinesesimp), 10010 (x-mac-romanian),
//   10021 (x-mac-thai), 10081 (x-mac-turkish), 10082 (x-mac-croatian),
//   20000-20005 (CNS, ETEN and the other Taiwanese sets), 20105 (x-ia5),
//   29001 (x-europa), 52936 (hz-gb-2312), 57002-57011 (ISCII).
// 1200, 1201, 12000 and 12001 (UTF-16 and UTF-32) are missing on purpose:
// Windows' MultiByteToWideChar refuses them too, so a document that names
// them reads the same everywhere.
#include "platform/posix/code_page_names.h"

#include <algorithm>
#include <iterator>

namespace platform::posix {

namespace {

struct CodePageName {
    int codePage;
    const char* name;
};

constexpr CodePageName kNames[] = {
    {37, "IBM037"},        {154, "PT154"},        {437, "IBM437"},       {500, "IBM500"},
    {708, "ASMO-708"},     {737, "CP737"},        {775, "CP775"},        {850, "IBM850"},
    {852, "IBM852"},       {855, "IBM855"},       {857, "IBM857"},       {858, "IBM858"},
    {860, "IBM860"},       {861, "IBM861"},       {862, "IBM862"},       {863, "IBM863"},
    {864, "IBM864"},       {865, "IBM865"},       {866, "IBM866"},       {869, "IBM869"},
    {874, "CP874"},        {875, "IBM875"},       {932, "CP932"},        {936, "CP936"},
    {949, "CP949"},        {950, "CP950"},        {1026, "IBM1026"},     {1047, "IBM1047"},
    {1125, "CP1125"},      {1133, "CP1133"},      {1250, "CP1250"},      {1251, "CP1251"},
    {1252, "CP1252"},      {1253, "CP1253"},      {1254, "CP1254"},      {1255, "CP1255"},
    {1256, "CP1256"},      {1257, "CP1257"},      {1258, "CP1258"},      {1361, "JOHAB"},
    {10000, "MACINTOSH"},  {10007, "MAC-CYRILLIC"}, {10017, "MACUKRAINIAN"},
    {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"}, {20106, "ISO646-DE"},
    {20107, "ISO646-SE"},  {20108, "ISO646-NO"},  {20127, "ASCII"},      {20261, "T.61-8BIT"},
    {20269, "ISO_6937"},   {20866, "KOI8-R"},     {20932, "EUC-JP"},     {20936, "GB2312"},
    {20949, "EUC-KR"},     {21866, "KOI8-U"},     {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"}, {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"}, {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"}, {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP-3"}, {50222, "ISO-2022-JP-3"}, {50225, "ISO-2022-KR"},
    {50227, "ISO-2022-CN"}, {51932, "EUC-JP-MS"}, {51936, "EUC-CN"},     {51949, "EUC-KR"},
    {54936, "GB18030"},    {65000, "UTF-7"},
};

constexpr bool sortedByCodePage() {
    for (std::size_t i = 1; i < std::size(kNames); ++i) {
        if (kNames[i - 1].codePage >= kNames[i].codePage) return false;
    }
    return true;
}
static_assert(sortedByCodePage(), "kNames is searched by bisection");

}  // namespace

const char* iconvName(int codePage) {
    const auto* it = std::lower_bound(std::begin(kNames), std::end(kNames), codePage,
                                      [](const CodePageName& entry, int cp) { return entry.codePage < cp; });
    return it != std::end(kNames) && it->codePage == codePage ? it->name : nullptr;
}

}  // namespace platform::posix
