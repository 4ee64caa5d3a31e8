// One request for all of a file's tags, and what is kept of the answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/field_table.h"
#include "plugin/batch_keys.h"
#include "plugin/batch_read.h"
#include "plugin/value_cache.h"
#include "tool/requests.h"

namespace {

using tool::BatchValue;
using tool::TagKey;

const std::vector<TagKey> kKeys = {
    {"Model", false}, {"ISO", false}, {"ISO", true}, {"LensModel", false}, {"Comment", false}};

std::vector<BatchValue> Read(const std::u16string& reply, std::size_t lineEnd = 1,
                             const std::vector<TagKey>& keys = kKeys) {
  return tool::ReadBatchReply(reply, keys, lineEnd);
}

BatchValue Value(const char16_t* text) { return std::optional<std::u16string>(text); }
const BatchValue kMissing = std::optional<std::u16string>();
const BatchValue kUnsure = std::nullopt;

TEST(BatchRequest, OneRequestWithEachTagInItsForm) {
  EXPECT_EQ(tool::BuildBatchRequest(kKeys, "/p/a b.jpg"),
            "-args\n-fast\n-charset\nFileName=UTF8\n-Model\n-ISO\n-ISO#\n-LensModel\n"
            "-Comment\n-echo3\n{batch end}\n/p/a b.jpg\n");
  EXPECT_TRUE(tool::AnswersUnderItsName("DateTimeOriginal"));
  EXPECT_TRUE(tool::AnswersUnderItsName("Sub-Sec_Time2"));
  for (const char* tag : {"EXIF:Make", "GPS*", "Lens?", "ISO#", "", "-Model", "*"})
    EXPECT_FALSE(tool::AnswersUnderItsName(tag)) << tag;
}

TEST(BatchReply, EachLineGoesToItsTag) {
  const auto values = Read(
      u"-Model=Canon EOS R6\n-ISO=200\n-ISO#=200\n-Comment=a=b -x=y {ready}\n");
  EXPECT_EQ(values[0], Value(u"Canon EOS R6"));
  EXPECT_EQ(values[1], Value(u"200"));
  EXPECT_EQ(values[2], Value(u"200"));
  EXPECT_EQ(values[3], kMissing);  // every line is accounted for: no lens
  EXPECT_EQ(values[4], Value(u"a=b -x=y {ready}"));
  // Names compare without case; values are kept as printed, spaces too.
  const auto spaced = Read(u"-MODEL=  spaced\n-iso#=7\n");
  EXPECT_EQ(spaced[0], Value(u"  spaced"));
  EXPECT_EQ(spaced[2], Value(u"7"));
  EXPECT_EQ(spaced[1], kMissing);
  // The end line alone: the file has none of them. Nothing at all: the
  // tool refused the request, which says nothing of any tag.
  for (const BatchValue& v : Read(u"{batch end}\n")) EXPECT_EQ(v, kMissing);
  for (const BatchValue& v : Read(u"{batch end}\r\n", 2)) EXPECT_EQ(v, kMissing);
  EXPECT_TRUE(tool::BatchRefused(u""));
  for (const BatchValue& v : Read(u"")) EXPECT_EQ(v, kUnsure);
  EXPECT_EQ(Read(u"-Model=X\n{batch end}\n")[3], kMissing);
  // An empty value is a value.
  EXPECT_EQ(Read(u"-Model=\n")[0], Value(u""));
}

TEST(BatchReply, LinesEndAsThePlatformsToolEndsThem) {
  const auto crlf = Read(u"-Model=X\r\n-ISO=1\r\n", 2);
  EXPECT_EQ(crlf[0], Value(u"X"));
  EXPECT_EQ(crlf[1], Value(u"1"));
  EXPECT_EQ(crlf[3], kMissing);
  // A line feed alone where lines end with CR LF: nothing is sure.
  for (const BatchValue& v : Read(u"-Model=X\n", 2)) EXPECT_EQ(v, kUnsure);
}

TEST(BatchReply, WhatItCannotSayExactlyIsLeftOpen) {
  // A name nobody asked for (a shortcut's lines, another spelling): a tag
  // with no line may have printed that one, so none counts as missing.
  auto values = Read(u"-Model=X\n-CreateDate=2021\n");
  EXPECT_EQ(values[0], Value(u"X"));
  EXPECT_EQ(values[1], kUnsure);
  EXPECT_EQ(values[3], kUnsure);
  // A name printed twice: some other request printed it as well.
  values = Read(u"-Model=X\n-Model=X\n");
  EXPECT_EQ(values[0], Value(u"X"));
  EXPECT_EQ(values[1], kUnsure);
  values = Read(u"-Model=X\n-Model=Y\n");
  EXPECT_EQ(values[0], kUnsure);
  // Anything that is not a "-NAME=value" line, or a cut last line.
  for (const char16_t* reply : {u"Model=X\n", u"-Model\n", u"-=X\n", u"-Model=X",
                                u"-Model=X\nWarning: x\n", u"-Mod\u00e9l=X\n", u"-#=1\n"}) {
    for (const BatchValue& v : Read(reply)) EXPECT_EQ(v, kUnsure) << "reply";
  }
}

config::Field MakeField(const char* tag, const char* units, const char* name = "x") {
  config::Field field;
  field.text.tagName = std::string(tag);
  field.text.displayName = name;
  field.text.units = units;
  return field;
}

TEST(BatchKeys, EachFieldInTheFormOfItsFirstUnitThenWhatWasAskedFor) {
  const config::FieldTable fields = {
      MakeField("Model", ""),           MakeField("FNumber", "#|Default"),
      MakeField("ExposureTime", "Default|#"), MakeField("model", "#"),
      MakeField("EXIF:Make", ""),       MakeField("GPS*", ""),
      MakeField("ISO", "", "-"),        MakeField("w", ""),
      MakeField("DateTimeOriginal", "|#")};
  EXPECT_EQ(plugin::BatchKeys(fields, {}),
            (std::vector<TagKey>{{"Model", false},
                                 {"FNumber", true},
                                 {"ExposureTime", false},
                                 {"DateTimeOriginal", false}}));
  // Forms asked for since join the batch; only of batchable fields, and a
  // tag in another spelling stays with its own request.
  EXPECT_EQ(plugin::BatchKeys(fields, {{"ExposureTime", true},
                                       {"FNumber", true},
                                       {"EXIF:Make", true},
                                       {"ISO", false},
                                       {"Model", true},
                                       {"model", true}}),
            (std::vector<TagKey>{{"Model", false},
                                 {"FNumber", true},
                                 {"ExposureTime", false},
                                 {"DateTimeOriginal", false},
                                 {"ExposureTime", true},
                                 {"Model", true}}));
  // A form the tool refuses is left out.
  EXPECT_EQ(plugin::BatchKeys(fields, {}, {{"FNumber", true}, {"Model", true}}),
            (std::vector<TagKey>{
                {"Model", false}, {"ExposureTime", false}, {"DateTimeOriginal", false}}));
  EXPECT_EQ(plugin::KeyFor(fields[2], 1), (TagKey{"ExposureTime", true}));
  EXPECT_EQ(plugin::KeyFor(fields[2], -1), (TagKey{"ExposureTime", false}));
  EXPECT_EQ(plugin::KeyFor(fields[1], 7), (TagKey{"FNumber", false}));
}

// A tool that refuses any request holding one of `refused`, and otherwise
// prints the Model of a file that has no other tag; counts the requests
// and those that hold "-_".
struct ScriptedTool {
  std::vector<std::string> refused;
  int requests = 0, underscore = 0;
  int stopAt = 0;  // the request that ends without a reply
  plugin::AskFunction Ask() {
    return [this](const std::string& request, std::u16string& reply) {
      ++requests;
      if (request.find("\n-_\n") != std::string::npos) ++underscore;
      if (requests == stopAt) return plugin::AskResult::kNoReply;
      reply.clear();
      for (const std::string& word : refused)
        if (request.find("\n-" + word + "\n") != std::string::npos)
          return plugin::AskResult::kReply;
      if (request.find("\n-Model\n") != std::string::npos) reply = u"-Model=X\n";
      reply += u"{batch end}\n";
      return plugin::AskResult::kReply;
    };
  }
};

TEST(BatchRead, ARefusedRequestIsAskedKeyByKey) {
  const std::vector<TagKey> keys = {{"Model", false}, {"_", false}, {"ISO", false}, {"5", false}};
  ScriptedTool tool{{"_", "5"}};
  plugin::BatchRead read = plugin::ReadBatch(keys, "/a.jpg", 1, tool.Ask());
  EXPECT_EQ(read.result, plugin::AskResult::kReply);
  EXPECT_EQ(read.values, (std::vector<BatchValue>{Value(u"X"), kMissing, kMissing, kMissing}));
  EXPECT_EQ(read.refused, (std::vector<TagKey>{{"_", false}, {"5", false}}));
  EXPECT_EQ(tool.requests, 5);
  // The last key, when every other one was taken alone, is the refused one:
  // it is not asked again.
  ScriptedTool last{{"_"}};
  read = plugin::ReadBatch({{"Model", false}, {"_", false}}, "/a.jpg", 1, last.Ask());
  EXPECT_EQ(read.values, (std::vector<BatchValue>{Value(u"X"), kMissing}));
  EXPECT_EQ(read.refused, (std::vector<TagKey>{{"_", false}}));
  EXPECT_EQ(last.requests, 2);
  EXPECT_EQ(last.underscore, 1);
  // A file that has none of the tags costs its one request.
  ScriptedTool none;
  read = plugin::ReadBatch({{"ISO", false}, {"Lens", false}}, "/a.jpg", 1, none.Ask());
  EXPECT_EQ(read.values, (std::vector<BatchValue>{kMissing, kMissing}));
  EXPECT_TRUE(read.refused.empty());
  EXPECT_EQ(none.requests, 1);
  // With every tag refused, the tool is not asked (it would print all).
  ScriptedTool idle;
  read = plugin::ReadBatch({}, "/a.jpg", 1, idle.Ask());
  EXPECT_EQ(read.result, plugin::AskResult::kReply);
  EXPECT_EQ(idle.requests, 0);
  // A stop while keys are asked alone ends the reading.
  ScriptedTool stopped{{"_"}, 0, 0, 3};
  read = plugin::ReadBatch(keys, "/a.jpg", 1, stopped.Ask());
  EXPECT_EQ(read.result, plugin::AskResult::kNoReply);
  EXPECT_EQ(stopped.requests, 3);
}

// ------------------------------------------------------------------ cache

const platform::FileStamp kStamp{true, true, true, 1000, 5, 5, 1, 2};

TEST(ValueCacheTest, KeepsWhatIsKnownWhileTheFileStaysTheSame) {
  plugin::ValueCache cache;
  const TagKey model{"Model", false};
  EXPECT_FALSE(cache.Find(u"/a.jpg", kStamp, model).has_value());
  cache.Store(u"/a.jpg", kStamp, 0, model, std::u16string(u"X"));
  EXPECT_EQ(cache.Find(u"/a.jpg", kStamp, model), Value(u"X"));
  EXPECT_FALSE(cache.Find(u"/a.jpg", kStamp, {"Model", true}).has_value());
  EXPECT_FALSE(cache.Find(u"/A.jpg", kStamp, model).has_value());
  // Another size, time, change time or identity: nothing of the old file
  // is known.
  for (auto change : {+[](platform::FileStamp& s) { s.modified += 1; },
                      +[](platform::FileStamp& s) { s.changed += 1; },
                      +[](platform::FileStamp& s) { s.file += 1; },
                      +[](platform::FileStamp& s) { s.volume += 1; }}) {
    platform::FileStamp touched = kStamp;
    change(touched);
    EXPECT_FALSE(cache.Find(u"/a.jpg", touched, model).has_value());
  }
  platform::FileStamp grown = kStamp;
  grown.size += 1;
  EXPECT_FALSE(cache.Batched(u"/a.jpg", grown));
  cache.StoreBatch(u"/a.jpg", grown, 0, kKeys, Read(u"-ISO=5\n-Comment=c\n"));
  EXPECT_TRUE(cache.Batched(u"/a.jpg", grown));
  EXPECT_FALSE(cache.Batched(u"/a.jpg", kStamp));
  EXPECT_EQ(cache.Find(u"/a.jpg", grown, {"ISO", false}), Value(u"5"));
  EXPECT_EQ(cache.Find(u"/a.jpg", grown, model), kMissing);
  EXPECT_FALSE(cache.Find(u"/a.jpg", kStamp, {"ISO", false}).has_value());
  const std::uint64_t before = cache.Generation();
  cache.Clear();
  EXPECT_EQ(cache.Files(), 0u);
  EXPECT_EQ(cache.Bytes(), 0u);
  EXPECT_FALSE(cache.Find(u"/a.jpg", grown, {"ISO", false}).has_value());
  // What a request that began before the clear read is not kept.
  cache.Store(u"/a.jpg", kStamp, before, model, std::u16string(u"X"));
  cache.StoreBatch(u"/b.jpg", kStamp, before, kKeys, Read(u"-ISO=5\n"));
  EXPECT_EQ(cache.Files(), 0u);
  cache.Store(u"/a.jpg", kStamp, cache.Generation(), model, std::u16string(u"Y"));
  EXPECT_EQ(cache.Find(u"/a.jpg", kStamp, model), Value(u"Y"));
}

TEST(ValueCacheTest, BoundedInFilesAndBytesLeastRecentlyUsedFirst) {
  plugin::ValueCache cache(3, 100000);
  const TagKey model{"Model", false};
  for (const char16_t* name : {u"/1", u"/2", u"/3"})
    cache.Store(name, kStamp, 0, model, std::u16string(u"v"));
  EXPECT_TRUE(cache.Find(u"/1", kStamp, model).has_value());  // now the most recent
  cache.Store(u"/4", kStamp, 0, model, std::u16string(u"v"));
  EXPECT_EQ(cache.Files(), 3u);
  EXPECT_FALSE(cache.Find(u"/2", kStamp, model).has_value());
  EXPECT_TRUE(cache.Find(u"/1", kStamp, model).has_value());
  EXPECT_TRUE(cache.Find(u"/4", kStamp, model).has_value());

  plugin::ValueCache small(1000, 20000);
  for (int i = 0; i < 200; ++i)
    small.Store(u"/f" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                    std::u16string(i / 26 + 1, u'x'),
                kStamp, 0, model, std::u16string(500, u'v'));
  EXPECT_LE(small.Bytes(), 20000u);
  EXPECT_GT(small.Files(), 5u);
  EXPECT_LT(small.Files(), 20u);
  // A value larger than the whole bound is not kept.
  small.Store(u"/huge", kStamp, 0, model, std::u16string(20000, u'v'));
  EXPECT_FALSE(small.Find(u"/huge", kStamp, model).has_value());
  EXPECT_LE(small.Bytes(), 20000u);
}

}  // namespace
