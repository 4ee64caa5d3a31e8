#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "plugin/delivery.h"
#include "plugin/plugin.h"
#include "plugin/value_request.h"
#include "text/text.h"
#include "tool/requests.h"

namespace {

TEST(PluginRequest, LinesInOrderWithOptionalNumericFlag) {
  EXPECT_EQ(tool::BuildTagRequest("Model", false, "c:\\a\\b.jpg"),
            "-Model\n-fast\n-s3\n-charset\nFileName=UTF8\nc:\\a\\b.jpg\n");
  EXPECT_EQ(tool::BuildTagRequest("XMP:CreateDate", true, "/p/caf\xc3\xa9.jpg"),
            "-XMP:CreateDate\n-fast\n-s3\n-charset\nFileName=UTF8\n-n\n/p/caf\xc3\xa9.jpg\n");
  // Long names are not cut: a cut name would name another file.
  const std::string longName(5000, 'x');
  const std::string request = tool::BuildTagRequest("Model", false, longName);
  EXPECT_NE(request.find("\n" + longName + "\n"), std::string::npos);
}

TEST(PluginRequest, OnlyNamesTheToolTakesAsThatOneFileAreSent) {
#ifdef _WIN32
  const std::u16string good[] = {u"C:\\a\\b.jpg", u"c:/a/b.jpg", u"\\\\server\\share\\b.jpg"};
  const std::u16string bad[] = {u"a\\b.jpg", u"C:b.jpg", u"\\a\\b.jpg", u"\\\\?\\C:\\b.jpg",
                                u"\\\\.\\pipe\\x", u"C:\\a\\*.jpg", u"C:\\a?.jpg"};
#else
  const std::u16string good[] = {u"/a/b.jpg", u"/a/ -ver", u"/#x", u"/a/*.jpg"};
  const std::u16string bad[] = {u"a/b.jpg", u"./b.jpg", u"~/b.jpg"};
#endif
  for (const std::u16string& name : good) EXPECT_TRUE(plugin::SendableFileName(name));
  for (const std::u16string& name : bad) EXPECT_FALSE(plugin::SendableFileName(name));
  const std::u16string root = good[0];
  for (std::u16string_view name : {u" -ver", u"#x", u"-ver", u""})
    EXPECT_FALSE(plugin::SendableFileName(name));
  // Line ends would split the name into tool arguments; unpaired surrogates
  // would reach the tool as U+FFFD, the name of another file.
  EXPECT_FALSE(plugin::SendableFileName(root + u"\n-ver"));
  EXPECT_FALSE(plugin::SendableFileName(root + u"\r"));
  EXPECT_FALSE(plugin::SendableFileName(root + u"\xD800.jpg"));
  EXPECT_FALSE(plugin::SendableFileName(root + u"\xDC00.jpg"));
  EXPECT_FALSE(plugin::SendableFileName(root + u"\xDC00\xD800"));
  EXPECT_TRUE(plugin::SendableFileName(root + u"\xD83D\xDE00.jpg"));  // a real pair
}

TEST(PluginReply, OnlyTheFinalLineEndIsTrimmed) {
  const std::u16string end = platform::kToolLineEndLength == 2 ? u"\r\n" : u"\n";
  std::u16string reply = u"123" + end;
  plugin::TrimReplyLineEnd(reply);
  EXPECT_EQ(reply, u"123");
  reply = u"one" + end + u"two" + end;
  plugin::TrimReplyLineEnd(reply);
  EXPECT_EQ(reply, u"one" + end + u"two");
  reply = end;
  plugin::TrimReplyLineEnd(reply);
  EXPECT_EQ(reply, u"");
  reply.assign(1, u'\x07');  // (assign: GCC 12 warns wrongly about the literal form)
  plugin::TrimReplyLineEnd(reply);
  EXPECT_EQ(reply, u"\x07");
  if (platform::kToolLineEndLength == 2) {
    reply = u"abc\n";  // a line feed alone is kept
    plugin::TrimReplyLineEnd(reply);
    EXPECT_EQ(reply, u"abc\n");
  }
}

struct Delivered {
  int result;
  unsigned char bytes[64];
};

Delivered Deliver(int type, const std::u16string& unit, const std::u16string& reply,
                  int maxLength = 32) {
  Delivered d;
  std::memset(d.bytes, 0xEE, sizeof d.bytes);
  d.result = plugin::DeliverValue(type, unit, reply, d.bytes, maxLength);
  return d;
}

template <typename T>
T As(const Delivered& d) {
  T v;
  std::memcpy(&v, d.bytes, sizeof v);
  return v;
}

std::u16string Text(const Delivered& d) {
  return std::u16string(reinterpret_cast<const char16_t*>(d.bytes));
}

TEST(PluginDeliver, FieldTypeAgainstUnitEntry) {
  // Numbers: an empty entry or "#" reads the number; "Default" is text.
  EXPECT_EQ(Deliver(1, u"", u"123").result, 1);
  EXPECT_EQ(As<std::int32_t>(Deliver(1, u"", u"123")), 123);
  EXPECT_EQ(As<std::int64_t>(Deliver(2, u"#", u"-9000000000")), -9000000000LL);
  EXPECT_EQ(As<double>(Deliver(3, u"#", u"12.5")), 12.5);
  EXPECT_EQ(Text(Deliver(3, u"DEFAULT", u"1/200")), u"1/200");
  EXPECT_EQ(Deliver(1, u"mm", u"5").result, -1);
  // Date and time.
  EXPECT_EQ(As<std::uint64_t>(Deliver(10, u"", u"2021:06:15 14:30:00+02:00")),
            132682338000000000ull);
  // A reply that holds no number, or no valid date, leaves the field empty
  // and the buffer untouched.
  for (const auto& [type, reply] : {std::pair{1, u"abc"}, {2, u" "}, {3, u"-"},
                                    {10, u"abc"}, {10, u"0000:00:00 00:00:00"}}) {
    const Delivered none = Deliver(type, u"", reply);
    EXPECT_EQ(none.result, -3) << type;
    EXPECT_EQ(none.bytes[0], 0xEE) << type;
  }
  EXPECT_EQ(Deliver(10, u"utc", u"2021:13:01 00:00:00").result, -3);
  // "-n" prints dates as they are: "#" reads the date too.
  EXPECT_EQ(As<std::uint64_t>(Deliver(10, u"#", u"2021:06:15 14:30:00+02:00")),
            132682338000000000ull);
  EXPECT_EQ(Deliver(10, u"Default", u"2021").result, 11);
  // Wide text takes every entry.
  for (const char16_t* unit : {u"", u"Default", u"#", u"any"})
    EXPECT_EQ(Deliver(11, unit, u"x").result, 11);
  // Narrow text: wide text for the wide entry point, narrow for the narrow one.
  for (const char16_t* unit : {u"", u"Default", u"#", u"any"}) {
    EXPECT_EQ(Text(Deliver(8, unit, u"x")), u"x");
    Delivered narrow;
    narrow.result = plugin::DeliverValue(8, unit, u"x", narrow.bytes, 32,
                                         plugin::HostText::kNarrow);
    EXPECT_EQ(narrow.result, 8);
    EXPECT_STREQ(reinterpret_cast<const char*>(narrow.bytes), "x");
  }
  // Any other type: only "Default" gives a value.
  EXPECT_EQ(Deliver(6, u"", u"1").result, -1);
  EXPECT_EQ(Deliver(6, u"#", u"1").result, -1);
  EXPECT_EQ(Deliver(7, u"Default", u"x").result, 11);
}

TEST(PluginDeliver, WritesStayWithinTheBuffer) {
  // The host gives its buffer's size in bytes: 11 bytes hold five units.
  const Delivered cut = Deliver(11, u"", u"abcdefgh", 11);
  EXPECT_EQ(Text(cut), u"abcd");
  EXPECT_EQ(cut.bytes[10], 0xEE);  // nothing past the terminator
  EXPECT_EQ(Text(Deliver(11, u"", u"abcdefgh", 10)), u"abcd");
  EXPECT_EQ(Text(Deliver(11, u"", u"abcdefgh", 2)), u"");
  for (int tooSmall : {1, 0, -4}) {
    const Delivered none = Deliver(11, u"", u"abc", tooSmall);
    EXPECT_EQ(none.result, 11);
    EXPECT_EQ(none.bytes[0], 0xEE);
  }
  const Delivered number = Deliver(1, u"", u"7");
  EXPECT_EQ(number.bytes[4], 0xEE);  // a 32-bit number is 4 bytes
  const Delivered nothing = Deliver(6, u"", u"x");
  EXPECT_EQ(nothing.bytes[0], 0xEE);
  // A cut never splits a character: not a surrogate pair in wide text, nor
  // a character's bytes in narrow text.
  EXPECT_EQ(Text(Deliver(11, u"", u"ab\U0001F4F7", 8)), u"ab");
  EXPECT_EQ(Text(Deliver(11, u"", u"ab\U0001F4F7", 10)), u"ab\U0001F4F7");
  unsigned char narrow[8];
  std::memset(narrow, 0xEE, sizeof narrow);
  EXPECT_EQ(plugin::DeliverNarrowText(u"a\u00e9b", narrow, 3), 8);
#ifdef _WIN32
  EXPECT_STREQ(reinterpret_cast<const char*>(narrow), "a\xe9");  // one byte in CP 1252
#else
  EXPECT_STREQ(reinterpret_cast<const char*>(narrow), "a");
#endif
  EXPECT_EQ(narrow[3], 0xEE);
  EXPECT_EQ(plugin::DeliverValue(1, u"", u"7", nullptr, 8), 1);
}

TEST(PluginText, WideningAndBoundedCopies) {
  EXPECT_EQ(text::WidenText("\xe9"), u"\u00e9");
  EXPECT_EQ(text::WidenText("\xc3\xa9"), u"\u00c3\u00a9");
  EXPECT_EQ(text::WidenText(""), u"");
  char buffer[8] = "xxxxxxx";
  text::CopyTruncated("abcdefghij", buffer, 4);
  EXPECT_STREQ(buffer, "abc");
  text::CopyTruncated("abc", buffer, -3);
  EXPECT_STREQ(buffer, "abc");
  text::CopyTruncated("abc", nullptr, 8);
  const char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(text::BoundedLength(unterminated, 4), 4u);
  EXPECT_TRUE(text::EqualsIgnoreAsciiCase(u"dEfAuLt", u"Default"));
  EXPECT_FALSE(text::EqualsIgnoreAsciiCase(u"D\u00e9fault", u"DEfault"));
}

TEST(PluginText, NarrowNamesConvertExactlyOrNotAtAll) {
  EXPECT_EQ(platform::SystemCodePageToUtf16("abc").value(), u"abc");
#ifndef _WIN32
  EXPECT_EQ(platform::SystemCodePageToUtf16("/caf\xc3\xa9").value(), u"/caf\u00e9");
  EXPECT_FALSE(platform::SystemCodePageToUtf16("/caf\xe9").has_value());
  EXPECT_FALSE(platform::SystemCodePageToUtf16("/\xc3").has_value());
  EXPECT_FALSE(platform::SystemCodePageToUtf16("/\xed\xa0\x80").has_value());  // a surrogate
#endif
}

}  // namespace
