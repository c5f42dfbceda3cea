#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/window1.h"
#include "runtime/exceptions.h"
#include "runtime/folder_item.h"
#include "runtime/text.h"
#include "runtime/text_stream.h"
#include "runtime/ui/runtime.h"

// The four event handlers of the main window: the rule list (Activate and the
// list's click) and the preferences file (Open and Close). Only these four
// definitions have external linkage here, so a test can link its own.

namespace app {
namespace {

// Shown in place of rule files when the rule-list folder has no entries at all.
const std::vector<std::string>& NoticeRows() {
  static const std::vector<std::string> rows = {
      "設定がありません",
      "くわしくは",
      "インストール方法を",
      "ご覧ください",
  };
  return rows;
}

std::shared_ptr<rt::FolderItem> RuleListFolder() {
  return std::make_shared<rt::FolderItem>("Verodavuda", rt::FolderItem::kPathModeNative, true);
}

// The preferences file holds five short lines. A longer file is none that
// this program wrote, and the bound keeps a stray huge one from being read.
constexpr uint64_t kPreferencesMaxBytes = 64 * 1024;

// The five numbers of the preferences file, each truncated to an integer; none
// when a line holds anything but one number (blanks around it aside). Such a
// file, cut short, torn by two writers or broken by hand, is damaged, and a
// damaged file changes nothing.
std::optional<std::array<int64_t, 5>> ReadNumbers(rt::TextInputStream& stream) {
  std::array<int64_t, 5> numbers{};
  for (int64_t& number : numbers) {
    const std::string line = stream.ReadLine();
    size_t length = 0;
    const double value = rt::Val(line, &length);
    if (length == 0 || line.find_first_not_of(" \t", length) != std::string::npos) {
      return std::nullopt;
    }
    number = rt::TruncateToInt64(value);
  }
  return numbers;
}

}  // namespace

void Window1::Event_Open() {
  gMyPref = rt::SpecialFolderPreferences();
  gMyPref = rt::NotNil(gMyPref, "preferences folder").Child("sorvane.pref", true);
  const rt::FolderItem& pref = rt::NotNil(gMyPref, "preferences file");
  // Anything but a regular file of at most the bound gives no stream, and
  // leaves the window as a damaged file does.
  if (pref.Exists()) {
    if (const std::shared_ptr<rt::TextInputStream> stream =
            pref.OpenAsTextFile(kPreferencesMaxBytes)) {
      if (const auto numbers = ReadNumbers(*stream)) {
        const auto [left, top, width, height, flag] = *numbers;
        Window1& window = rt::NotNil(Instance(), "main window");
        window.Left(std::max<int64_t>(left, 10));
        window.Top(std::max<int64_t>(top, 40));
        window.Width(width);
        window.Height(height);
        rt::NotNil(window.CB1(), "check box CB1").Value(flag == 1);
      }
      stream->Close();
    }
  }
  AI_ACCTIVE();
}

void Window1::Event_Close() {
  const std::shared_ptr<rt::TextOutputStream> out =
      rt::NotNil(gMyPref, "preferences file").CreateTextFile();
  rt::TextOutputStream& stream = rt::NotNil(out, "preferences stream");
  Window1& window = rt::NotNil(Instance(), "main window");
  stream.WriteLine(rt::Str(window.Left()));
  stream.WriteLine(rt::Str(window.Top()));
  stream.WriteLine(rt::Str(window.Width()));
  stream.WriteLine(rt::Str(window.Height()));
  stream.WriteLine(rt::NotNil(window.CB1(), "check box CB1").Value() ? "1" : "0");
  stream.Close();
  rt::ui::Quit(0);
}

void Window1::Event_Activate() {
  rt::NotNil(Listbox1(), "list Listbox1").DeleteAllRows();
  const std::shared_ptr<rt::FolderItem> folder = RuleListFolder();
  if (!folder->Exists()) {
    try {
      folder->CreateFolder();
    } catch (const std::exception&) {
      // A folder that cannot be made shows as an empty one; the list has
      // nothing better to offer and shows no messages.
    }
  }
  const int64_t count = folder->Count();
  if (count == 0) {
    for (const std::string& row : NoticeRows()) rt::NotNil(Listbox1(), "list Listbox1").AddRow({row});
    return;
  }
  for (int64_t i = 1; i <= count; ++i) {
    const std::string name = rt::NotNil(folder->Item(i), "folder entry").DisplayName();
    if (rt::TextEquals(rt::Left(name, 1), ".")) continue;
    if (!rt::TextEquals(rt::Right(name, 4), ".txt")) continue;
    rt::NotNil(Listbox1(), "list Listbox1").AddRow({rt::Left(name, rt::Len(name) - 4)});
  }
}

bool Window1::Listbox1_CellClick(const std::shared_ptr<rt::ui::Listbox>& list, int64_t row,
                                 int64_t /*column*/, int64_t /*x*/, int64_t /*y*/) {
  MainScpt(rt::NotNil(list, "list").Cell(row, 0) + ".txt");
  return false;
}

}  // namespace app
