#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace rt {
class Application;
}

namespace testsupport {

// One script run as the stand-in scripts record it in calls.log.
struct ScriptCall {
  std::string name;
  std::vector<std::string> args;
  bool operator==(const ScriptCall&) const = default;
};

// The folder that holds the stand-in scripts of the tests.
std::string StandInScriptsDir();

// A temporary application bundle for the life of the object:
//   <root>/bin/sorvane      a dummy file standing for the executable
//   <root>/Resources/       the four stand-in scripts, executable
//   <root>/Verodavuda/      the rule-list folder, empty
// It registers an application object whose executable is <root>/bin/sorvane
// and points the application folder at <root>; the destructor undoes both.
class Bundle {
 public:
  Bundle();
  ~Bundle();
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  const std::string& root() const { return dir_.path(); }
  std::string ResourcesPath() const { return dir_ / "Resources"; }
  std::string RuleFolderPath() const { return dir_ / "Verodavuda"; }
  std::string ExecutablePath() const { return dir_ / "bin/sorvane"; }
  const std::shared_ptr<rt::Application>& app() const { return app_; }

  // What the stand-in content script prints, byte for byte.
  void WriteInventory(const std::string& bytes) const;
  // A rule file in the rule-list folder.
  void WriteRuleFile(const std::string& name, const std::string& bytes) const;
  // Copies stand-in `standIn` into Resources as `asName`, executable.
  void InstallScript(const std::string& standIn, const std::string& asName) const;

  // Every script run recorded so far, in order; empty when none.
  std::vector<ScriptCall> Calls() const;
  void ClearCalls() const;

 private:
  TempDir dir_;
  std::shared_ptr<rt::Application> app_;
};

// Decodes calls.log: one line per call, TAB-separated: name, argument count,
// arguments with \\ \t \n \r escaped. Raises std::runtime_error on a line that
// does not decode or whose count does not match.
std::vector<ScriptCall> DecodeCallLog(const std::string& log);

}  // namespace testsupport
