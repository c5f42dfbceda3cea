#include "tests/support/bundle.h"

#include <filesystem>
#include <stdexcept>

#include "runtime/application.h"
#include "runtime/folder_item.h"

namespace fs = std::filesystem;

namespace testsupport {

std::string StandInScriptsDir() { return SORVANE_TEST_SCRIPTS_DIR; }

Bundle::Bundle() : app_(std::make_shared<rt::Application>()) {
  WriteFile(ExecutablePath(), "");
  fs::create_directories(ResourcesPath());
  fs::create_directories(RuleFolderPath());
  for (const char* name : {"getcontents.scpt", "activeAi.scpt", "applyCS.scpt", "applyPS.scpt"}) {
    InstallScript(name, name);
  }
  app_->SetExecutablePathForTesting(ExecutablePath());
  rt::RuntimeRegisterAppObject(app_);
  rt::SetApplicationFolderForTesting(root());
}

Bundle::~Bundle() {
  rt::SetApplicationFolderForTesting("");
  rt::RuntimeRegisterAppObject(nullptr);
}

void Bundle::WriteInventory(const std::string& bytes) const {
  WriteFile(dir_ / "inventory.txt", bytes);
}

void Bundle::WriteRuleFile(const std::string& name, const std::string& bytes) const {
  WriteFile(RuleFolderPath() + "/" + name, bytes);
}

void Bundle::InstallScript(const std::string& standIn, const std::string& asName) const {
  const fs::path target = fs::path(ResourcesPath()) / asName;
  fs::copy_file(fs::path(StandInScriptsDir()) / standIn, target,
                fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

std::vector<ScriptCall> Bundle::Calls() const {
  const std::string path = dir_ / "calls.log";
  if (!fs::exists(path)) return {};
  return DecodeCallLog(ReadFile(path));
}

void Bundle::ClearCalls() const {
  std::error_code ec;
  fs::remove(dir_ / "calls.log", ec);
}

namespace {

std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out += field[i];
      continue;
    }
    if (++i == field.size()) throw std::runtime_error("calls.log: lone backslash");
    switch (field[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: throw std::runtime_error("calls.log: unknown escape");
    }
  }
  return out;
}

}  // namespace

std::vector<ScriptCall> DecodeCallLog(const std::string& log) {
  std::vector<ScriptCall> calls;
  size_t lineStart = 0;
  while (lineStart < log.size()) {
    const size_t lineEnd = log.find('\n', lineStart);
    if (lineEnd == std::string::npos) throw std::runtime_error("calls.log: unfinished line");
    std::vector<std::string> fields;
    size_t fieldStart = lineStart;
    while (true) {
      const size_t tab = log.find('\t', fieldStart);
      const size_t end = (tab == std::string::npos || tab > lineEnd) ? lineEnd : tab;
      fields.push_back(Unescape(log.substr(fieldStart, end - fieldStart)));
      if (end == lineEnd) break;
      fieldStart = end + 1;
    }
    if (fields.size() < 2 || fields[1] != std::to_string(fields.size() - 2)) {
      throw std::runtime_error("calls.log: argument count does not match");
    }
    calls.push_back({fields[0], {fields.begin() + 2, fields.end()}});
    lineStart = lineEnd + 1;
  }
  return calls;
}

}  // namespace testsupport
