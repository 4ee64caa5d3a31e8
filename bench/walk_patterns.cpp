#include "walk_patterns.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common.h"

namespace bench {

namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The photos in name order as a file manager sorts them: case-insensitive,
// exact names breaking ties.
std::vector<std::string> NameOrder(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    const int c = strcasecmp(BaseName(a).c_str(), BaseName(b).c_str());
    return c != 0 ? c < 0 : a < b;
  });
  return paths;
}

int FieldIndex(const BenchConfig& config, const std::string& name) {
  for (std::size_t f = 0; f < config.fields.size(); ++f)
    if (config.fields[f].name == name) {
      if (!config.fields[f].asked) Fail("field \"" + name + "\" asks the tool nothing");
      return static_cast<int>(f);
    }
  Fail("no field \"" + name + "\" in Config.txt");
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Adds `paths` to the setup's entries; their positions.
std::vector<std::size_t> AddEntries(WalkSetup& setup, const std::vector<std::string>& paths) {
  std::vector<std::size_t> at;
  for (const Photo& entry : ToPhotos(paths)) {
    at.push_back(setup.entries.size());
    setup.isFolder.push_back(IsFolder(entry.path));
    setup.entries.push_back(entry);
  }
  return at;
}

// A search through `dir`: its entries in listing order, then each of its
// sub-folders the same way, in the order it lists them.
void Search(const std::string& dir, int field, WalkSetup& setup, Walk& walk) {
  walk.folders.push_back(dir);
  const std::vector<std::size_t> listed = AddEntries(setup, ListedEntries(dir));
  AskEach(walk, listed, {field});
  for (std::size_t entry : listed)
    if (setup.isFolder[entry]) Search(setup.entries[entry].path, field, setup, walk);
}

// A renaming tool's walk over `files` (name order) with the fields of `mask`:
// the preview's rows at each keystroke, then the whole list field by field,
// or file by file as Double Commander 1.0 renames.
void Rename(const WalkOptions& o, const std::vector<std::size_t>& files,
            const std::vector<int>& mask, Walk& walk) {
  const std::vector<std::size_t> rows(files.begin(),
                                      files.begin() + std::min(o.previewRows, files.size()));
  for (int keystroke = 0; keystroke < o.keystrokes; ++keystroke) AskEach(walk, rows, mask);
  if (o.renameByFile) AskEach(walk, files, mask);
  else
    for (int field : mask) AskEach(walk, files, {field});
}

}  // namespace

void PlanWalks(const WalkOptions& o, const BenchConfig& config, WalkSetup& setup,
               Walk (&walks)[kPatterns]) {
  const int field = FieldIndex(config, o.field);
  // One file in each of two other folders: no walk through a folder.
  for (const std::string& folder : SubFolders(FullPath(o.names))) {
    const std::vector<std::string> files = JpegFiles(folder);
    if (!files.empty() && setup.warmUp.size() < 2)
      setup.warmUp.push_back(ToPhotos({files.back()})[0]);
  }
  if (setup.warmUp.empty()) Fail("no folders of other photos for warming up in " + o.names);

  const std::string photos = FullPath(o.photos);
  const std::vector<std::string> named = NameOrder(JpegFiles(photos));
  if (named.empty()) Fail("no .jpg photos in " + o.photos);
  const std::vector<std::size_t> byName = AddEntries(setup, named);
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < named.size(); ++i) position[named[i]] = byName[i];
  std::vector<std::size_t> listed;
  for (const std::string& path : JpegFiles(photos, false)) listed.push_back(position.at(path));

  walks[kSortByName].name = "sort, name order";
  AskEach(walks[kSortByName], byName, {field});
  walks[kSortByListing].name = "sort, listing order";
  AskEach(walks[kSortByListing], listed, {field});

  walks[kScreen].name = "screen";
  const std::vector<std::size_t> screen(byName.begin(),
                                        byName.begin() + std::min(o.screenFiles, byName.size()));
  AskEach(walks[kScreen], screen, AllFields(config));
  walks[kScreen].settleSeconds = o.settleSeconds;
  for (Walk* walk : {&walks[kSortByName], &walks[kSortByListing], &walks[kScreen]})
    walk->folders = {photos};

  walks[kFindFiles].name = "Find Files, tree";
  Search(FullPath(o.tree), field, setup, walks[kFindFiles]);

  walks[kRename].name = "multi-rename";
  const std::string renamed = FullPath(o.rename);
  const std::vector<std::size_t> files = AddEntries(setup, NameOrder(JpegFiles(renamed)));
  if (files.empty()) Fail("no .jpg photos in " + o.rename);
  std::vector<int> mask;
  for (const std::string& name : o.mask) mask.push_back(FieldIndex(config, name));
  Rename(o, files, mask, walks[kRename]);
  walks[kRename].folders = {renamed};
}

}  // namespace bench
