#include "engine/script_bridge.h"

#include <memory>
#include <utility>

#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/folder_item.h"
#include "runtime/script.h"
#include "runtime/text.h"

namespace engine {
namespace {

ClearingFlagSource& InstalledFlagSource() {
  static ClearingFlagSource source;
  return source;
}

enum Script { kContent, kActivation, kCharacterStyle, kParagraphStyle };
constexpr const char* kScriptNames[] = {"getcontents.scpt", "activeAi.scpt", "applyCS.scpt",
                                        "applyPS.scpt"};

// The resources folder, found from the running executable.
std::shared_ptr<rt::FolderItem> ResourcesFolder() {
  const std::shared_ptr<rt::Application> app = rt::GetAppObject();
  if (!app) throw rt::NilObjectException("no application object");
  const std::shared_ptr<rt::FolderItem> executable = app->ExecutableFile();
  if (!executable) throw rt::NilObjectException("the application has no executable file");
  const std::shared_ptr<rt::FolderItem> executableFolder = executable->Parent();
  if (!executableFolder) throw rt::NilObjectException("the executable has no parent folder");
  const std::shared_ptr<rt::FolderItem> bundle = executableFolder->Parent();
  if (!bundle) throw rt::NilObjectException("the executable's folder has no parent folder");
  std::shared_ptr<rt::FolderItem> resources = bundle->Child("Resources", true);
  if (!resources) throw rt::NilObjectException("no \"Resources\" folder");
  return resources;
}

// What a ScriptLookup has found so far.
struct FoundScripts {
  bool active = false;
  std::shared_ptr<rt::FolderItem> resources;
  std::shared_ptr<rt::FolderItem> scripts[4];
};
thread_local FoundScripts t_found;

// Outside a lookup the script is located at every call, so that a bundle
// moved or changed while the program runs is still found at the next call.
std::shared_ptr<rt::FolderItem> Locate(Script script) {
  const char* name = kScriptNames[script];
  if (!t_found.active) return ResourcesFolder()->Child(name, true);
  std::shared_ptr<rt::FolderItem>& found = t_found.scripts[script];
  if (!found) {
    if (!t_found.resources) t_found.resources = ResourcesFolder();
    found = t_found.resources->Child(name, true);
  }
  return found;
}

std::string RunScript(Script script, const ScriptArguments& arguments) {
  return rt::ExecuteAppleScript(Locate(script), arguments);
}

// "1" or "0" as the check box stands at this very request.
std::string ClearingFlag() {
  const ClearingFlagSource& source = InstalledFlagSource();
  if (!source) throw rt::NilObjectException("no main window");
  const std::optional<bool> value = source();
  if (!value) throw rt::NilObjectException("the main window has no check box CB1");
  return *value ? "1" : "0";
}

}  // namespace

ScriptLookup::ScriptLookup() : outermost_(!t_found.active) { t_found.active = true; }

ScriptLookup::~ScriptLookup() {
  if (outermost_) t_found = FoundScripts{};
}

std::string getcontents(const ScriptArguments& arguments) {
  return RunScript(kContent, arguments);
}

std::string activeAi(const ScriptArguments& arguments) {
  return RunScript(kActivation, arguments);
}

std::string applyCS(const ScriptArguments& arguments) {
  return RunScript(kCharacterStyle, arguments);
}

std::string applyPS(const ScriptArguments& arguments) {
  return RunScript(kParagraphStyle, arguments);
}

void SetClearingFlagSource(ClearingFlagSource source) {
  InstalledFlagSource() = std::move(source);
}

void AI_ACCTIVE() {
  activeAi(ScriptArguments{});
}

void applyChaStyle(const std::string& positionList, const std::string& styleName,
                   const std::string& idA, const std::string& idB) {
  std::string startList = rt::NthField(positionList, "<>", 1);
  std::string endList = rt::NthField(positionList, "<>", 2);
  std::string flag = ClearingFlag();
  applyCS(ScriptArguments{std::move(startList), std::move(endList), styleName, idA, idB,
                          std::move(flag)});
}

void applyParaStyle(const std::string& paragraphList, const std::string& styleName,
                    const std::string& idA, const std::string& idB) {
  std::string flag = ClearingFlag();
  applyPS(ScriptArguments{paragraphList, styleName, idA, idB, std::move(flag)});
}

}  // namespace engine
