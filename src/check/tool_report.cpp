#include "check/tool_report.h"

#include <cstdio>

#include "check/describe.h"
#include "platform/platform.h"
#include "tool/locate.h"
#include "tool/tool_bridge.h"

namespace check {

namespace {

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

void PrintPlaces(const std::u16string& toolLine, const std::u16string& pluginDirectory) {
  std::printf("  looked for, in this order:\n");
  for (const std::u16string& place : tool::ToolCandidates(
           toolLine, pluginDirectory, platform::ProgramSearchDirectories()))
    std::printf("    %s%s\n", Utf8(place).c_str(),
                platform::IsProgramFile(place) ? "  (a program, but it did not start)" : "");
}

}  // namespace

ToolFacts FindTool(const std::u16string& toolLine, const std::u16string& pluginDirectory,
                   int& problems) {
  ToolFacts facts;
  tool::ToolProcess process;
  if (tool::StartTool(process, toolLine, pluginDirectory) != 0) {
    std::printf("tool: no Exiftool found that starts for the tool line %s; every value "
                "reads \"Exiftool.exe is not found!\"\n",
                Quoted(Utf8(toolLine)).c_str());
    PrintPlaces(toolLine, pluginDirectory);
    ++problems;
    return facts;
  }
  facts.started = true;
  facts.program = process.program;
  tool::Exchange version = tool::ToolRequest(process, "-ver\n");
  if (version.status == tool::ExchangeStatus::kReply) {
    std::u16string_view text = version.reply;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
      text.remove_suffix(1);
    facts.version = Utf8(text);
  }
  const tool::Exchange listing = tool::ToolRequest(process, "-list\n");
  if (listing.status == tool::ExchangeStatus::kReply) {
    facts.names.Read(listing.reply);
    facts.listed = facts.names.size() > 0;
  }
  // Family 7 ("ID-" and a number) is every tag's own; the others name groups.
  facts.groupsListed = true;
  for (char family = '0'; family <= '6'; ++family) {
    const tool::Exchange groups =
        tool::ToolRequest(process, std::string("-listg") + family + "\n");
    if (groups.status == tool::ExchangeStatus::kReply) facts.groups.Read(groups.reply);
    else facts.groupsListed = false;
  }
  facts.groupsListed = facts.groupsListed && facts.groups.size() > 0;
  tool::StopTool(process);
  std::printf("tool: %s, Exiftool %s (the tool line %s)\n", Utf8(facts.program).c_str(),
              facts.version.empty() ? "of unknown version" : facts.version.c_str(),
              Quoted(Utf8(toolLine)).c_str());
  if (!facts.listed) {
    std::printf("  problem: the tool did not list its tag names (-list): tags are not "
                "checked\n");
    ++problems;
  } else {
    std::printf("  knows %zu tag names and shortcuts, %zu group names\n", facts.names.size(),
                facts.groups.size());
  }
  return facts;
}

}  // namespace check
