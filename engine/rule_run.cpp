#include "engine/rule_run.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/locators.h"
#include "engine/script_bridge.h"
#include "runtime/exceptions.h"
#include "runtime/folder_item.h"
#include "runtime/text.h"
#include "runtime/text_stream.h"

namespace engine {
namespace {

// The rules of one file as three parallel lists; entry j comes from line j + 1.
struct Rules {
  std::vector<std::string> patterns;
  std::vector<std::string> styleNames;
  std::vector<std::string> kinds;

  void Add(const std::string& line) {
    const std::string tab = rt::Chr(9);
    patterns.push_back(rt::NthField(line, tab, 1));
    styleNames.push_back(rt::NthField(line, tab, 2));
    kinds.push_back(rt::NthField(line, tab, 3));
  }
};

// Every line is a rule, and at least one line is read, so an empty file gives
// one rule of empty fields.
Rules ReadRules(rt::TextInputStream& stream) {
  Rules rules;
  rules.Add(stream.ReadLine());
  while (!stream.Eof()) rules.Add(stream.ReadLine());
  stream.Close();
  return rules;
}

void Run(const std::string& fileName) {
  const auto folder =
      std::make_shared<rt::FolderItem>("Verodavuda", rt::FolderItem::kPathModeNative, true);
  const std::shared_ptr<rt::FolderItem> file = folder->Child(fileName, true);
  if (!file) throw rt::NilObjectException("no rule file reference for \"" + fileName + "\"");
  if (!file->Exists()) return;

  Rules rules;
  if (const std::shared_ptr<rt::TextInputStream> stream = file->OpenAsTextFile()) {
    rules = ReadRules(*stream);
  }
  const std::ptrdiff_t lastRule = static_cast<std::ptrdiff_t>(rules.patterns.size()) - 1;

  // The scripts are found once for the run, not at each of its requests.
  const ScriptLookup scripts;

  const std::vector<std::string> items = rt::Split(getcontents(ScriptArguments{}), "<t@ke>");
  for (const std::string& item : items) {
    if (item.empty()) continue;
    const int64_t colon = rt::InStr(item, ":");
    const std::string identifier = rt::Left(item, colon - 1);
    const std::string idA = rt::NthField(identifier, "/", 1);
    const std::string idB = rt::NthField(identifier, "/", 2);
    const std::string text = rt::Mid(item, colon + 1);
    for (std::ptrdiff_t j = 0; j <= lastRule; ++j) {
      const auto r = static_cast<size_t>(j);
      if (rt::TextEquals(rules.kinds[r], "p")) {
        applyParaStyle(getRegParaPos(text, rules.patterns[r]), rules.styleNames[r], idA, idB);
      } else {
        applyChaStyle(getRegPos(text, rules.patterns[r]), rules.styleNames[r], idA, idB);
      }
    }
  }
}

}  // namespace

void MainScpt(const std::string& fileName) {
  if (fileName.empty()) return;
  try {
    Run(fileName);
  } catch (const rt::RegExException&) {
    // A pattern the regular-expression services reject ends the run; the
    // requests already made stand, and nothing is reported.
  }
}

}  // namespace engine
