#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "plugin/plugin.h"
#include "text/text.h"

namespace {

TEST(PluginRequest, LinesInOrderWithOptionalNumericFlag) {
  EXPECT_EQ(plugin::BuildRequest("Model", false, "c:\\a\\b.jpg"),
            "-Model\n-fast\n-s3\n-charset\nFileName=UTF8\nc:\\a\\b.jpg\n-execute\n");
  EXPECT_EQ(plugin::BuildRequest("XMP:CreateDate", true, "/p/caf\xc3\xa9.jpg"),
            "-XMP:CreateDate\n-fast\n-s3\n-charset\nFileName=UTF8\n-n\n/p/caf\xc3\xa9.jpg\n"
            "-execute\n");
  // Long names are not cut: a cut request would lose its -execute line.
  const std::string longName(5000, 'x');
  const std::string request = plugin::BuildRequest("Model", false, longName);
  EXPECT_NE(request.find(longName + "\n-execute\n"), std::string::npos);
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
  reply = u"\x07";
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
  EXPECT_EQ(As<std::uint64_t>(Deliver(10, u"utc", u"abc")), 0u);
  EXPECT_EQ(Deliver(10, u"#", u"2021:06:15 14:30:00").result, 0);
  EXPECT_EQ(Deliver(10, u"Default", u"2021").result, 11);
  // Wide text takes every entry.
  for (const char16_t* unit : {u"", u"Default", u"#", u"any"})
    EXPECT_EQ(Deliver(11, unit, u"x").result, 11);
  // Any other type: only "Default" gives a value.
  EXPECT_EQ(Deliver(8, u"", u"x").result, -1);
  EXPECT_EQ(Deliver(8, u"Default", u"x").result, 11);
  EXPECT_EQ(Deliver(8, u"#", u"x").result, 0);
  EXPECT_EQ(Deliver(8, u"other", u"x").result, -1);
}

TEST(PluginDeliver, WritesStayWithinTheBuffer) {
  const Delivered cut = Deliver(11, u"", u"abcdefgh", 5);
  EXPECT_EQ(Text(cut), u"abcd");
  EXPECT_EQ(cut.bytes[10], 0xEE);  // nothing past the terminator
  const Delivered none = Deliver(11, u"", u"abc", 0);
  EXPECT_EQ(none.result, 11);
  EXPECT_EQ(none.bytes[0], 0xEE);
  const Delivered number = Deliver(1, u"", u"7");
  EXPECT_EQ(number.bytes[4], 0xEE);  // a 32-bit number is 4 bytes
  const Delivered nothing = Deliver(8, u"", u"x");
  EXPECT_EQ(nothing.bytes[0], 0xEE);
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

}  // namespace
