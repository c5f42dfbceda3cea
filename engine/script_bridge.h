#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engine {

using ScriptArguments = std::vector<std::string>;

// The four script runners, one per script file of the bundle's resources
// folder (the parent of the executable's folder, child "Resources"), located
// afresh at every call outside a ScriptLookup. Each returns the script's
// result unchanged.
std::string getcontents(const ScriptArguments& arguments);
std::string activeAi(const ScriptArguments& arguments);
std::string applyCS(const ScriptArguments& arguments);
std::string applyPS(const ScriptArguments& arguments);

// While one lives, the runners of its thread locate each script once, at its
// first call, and reuse that file at the calls after it: a rule run makes a
// style request for every text and rule. The outermost one counts.
class ScriptLookup {
 public:
  ScriptLookup();
  ~ScriptLookup();
  ScriptLookup(const ScriptLookup&) = delete;
  ScriptLookup& operator=(const ScriptLookup&) = delete;

 private:
  bool outermost_;
};

// How a style request reads the Clearing flag: the main window's check box
// value, or nullopt when there is no main window or it has no check box. The
// application installs it; a request made without one raises
// rt::NilObjectException before any script runs.
using ClearingFlagSource = std::function<std::optional<bool>()>;
void SetClearingFlagSource(ClearingFlagSource source);

// Host activation: runs the activation script with no arguments.
void AI_ACCTIVE();
// One character-style request: the position list's two halves, the style
// name, idA, idB and the Clearing flag ("1" or "0") go to applyCS.
void applyChaStyle(const std::string& positionList, const std::string& styleName,
                   const std::string& idA, const std::string& idB);
// One paragraph-style request: the paragraph list, the style name, idA, idB
// and the Clearing flag go to applyPS.
void applyParaStyle(const std::string& paragraphList, const std::string& styleName,
                    const std::string& idA, const std::string& idB);

}  // namespace engine
