#include <QApplication>
#include <algorithm>

#include "runtime/exceptions.h"
#include "runtime/text.h"
#include "runtime/ui/internal.h"

namespace rt::ui::detail {
namespace {

template <class T>
const T& Get(const char* className, const Property& property, const char* typeName) {
  const T* value = std::get_if<T>(&property.value);
  if (value == nullptr) {
    throw IllegalCastException(std::string("property ") + property.name + " of " + className +
                               " takes " + typeName);
  }
  return *value;
}

const char* TypeName(const PropertyValue& value) {
  constexpr const char* kNames[] = {"a Boolean", "an Integer", "a number", "a String", "a Color"};
  return kNames[value.index()];
}

// Properties that every control carries out in one way only.
const std::vector<FixedValue>& FixedControlValues() {
  static const std::vector<FixedValue> fixed = {
      // Control sets do not exist in this layer; every control stands alone.
      {"Index", int64_t{-2147483648}},
      // There are no tab panels in this layer.
      {"TabPanelIndex", int64_t{0}},
      {"TabStop", true},
      // Qt draws the controls of an inactive window with the style's own
      // inactive colours.
      {"AllowAutoDeactivate", true},
      {"AllowFocusRing", true},
      {"Enabled", true},
      {"Visible", true},
      {"Tooltip", std::string()},
      // A control paints only its own parts over the window's background.
      {"Transparent", false},
      {"Bold", false},
      {"Italic", false},
      {"Underline", false},
      // The platform's font for controls.
      {"FontName", std::string("System")},
      // The point, the unit FontSize is applied in.
      {"FontUnit", int64_t{0}},
      // This layer binds no control to a database and nests none in another.
      {"DataSource", std::string()},
      {"DataField", std::string()},
      {"InitialParent", std::string()},
  };
  return fixed;
}

void CommitControlProperties(Control& control, const QFont& font) {
  Control::Impl& impl = Access::ImplOf(control);
  impl.widget->setFont(font);
  impl.widget->resize(static_cast<int>(std::clamp<int64_t>(impl.width, 0, QWIDGETSIZE_MAX)),
                      static_cast<int>(std::clamp<int64_t>(impl.height, 0, QWIDGETSIZE_MAX)));
  if (std::shared_ptr<Window> window = impl.window.lock()) {
    impl.right_margin = window->Width() - (impl.left + impl.width);
    impl.bottom_margin = window->Height() - (impl.top + impl.height);
    Access::PlaceControl(*window, control);
    Access::UpdateTabOrder(*window);
  }
}

}  // namespace

bool AsBool(const char* className, const Property& property) {
  return Get<bool>(className, property, "a Boolean");
}

int64_t AsInteger(const char* className, const Property& property) {
  return Get<int64_t>(className, property, "an Integer");
}

double AsNumber(const char* className, const Property& property) {
  if (const int64_t* whole = std::get_if<int64_t>(&property.value)) {
    return static_cast<double>(*whole);
  }
  return Get<double>(className, property, "a number");
}

const std::string& AsText(const char* className, const Property& property) {
  return Get<std::string>(className, property, "a String");
}

void UnknownProperty(const char* className, const Property& property) {
  throw RuntimeException(std::string(className) + " has no property " + property.name);
}

void UnsupportedValue(const char* className, const Property& property) {
  std::string shown;
  if (const int64_t* n = std::get_if<int64_t>(&property.value)) shown = Str(*n);
  if (const bool* b = std::get_if<bool>(&property.value)) shown = *b ? "true" : "false";
  if (const std::string* s = std::get_if<std::string>(&property.value)) shown = "\"" + *s + "\"";
  throw RuntimeException(std::string(className) + " cannot take " + property.name +
                         (shown.empty() ? std::string() : " " + shown));
}

bool CheckFixed(const char* className, const Property& property,
                const std::vector<FixedValue>& fixed) {
  for (const FixedValue& f : fixed) {
    if (property.name != f.name) continue;
    if (property.value.index() != f.value.index()) {
      throw IllegalCastException(std::string("property ") + property.name + " of " + className +
                                 " takes " + TypeName(f.value));
    }
    if (property.value != f.value) UnsupportedValue(className, property);
    return true;
  }
  return false;
}

bool ApplyControlProperty(const char* className, Control::Impl& impl, QFont& font,
                          const Property& p) {
  const std::string& name = p.name;
  if (name == "Name") {
    impl.name = AsText(className, p);
    impl.widget->setObjectName(ToQt(impl.name));
  } else if (name == "Left") {
    impl.left = AsInteger(className, p);
  } else if (name == "Top") {
    impl.top = AsInteger(className, p);
  } else if (name == "Width") {
    impl.width = AsInteger(className, p);
  } else if (name == "Height") {
    impl.height = AsInteger(className, p);
  } else if (name == "LockLeft") {
    impl.lock_left = AsBool(className, p);
  } else if (name == "LockTop") {
    impl.lock_top = AsBool(className, p);
  } else if (name == "LockRight") {
    impl.lock_right = AsBool(className, p);
  } else if (name == "LockBottom") {
    impl.lock_bottom = AsBool(className, p);
  } else if (name == "TabIndex") {
    impl.tab_index = AsInteger(className, p);
  } else if (name == "FontSize") {
    // 0 keeps the usual size of the system font.
    const double size = AsNumber(className, p);
    if (size < 0) UnsupportedValue(className, p);
    if (size == 0) {
      const QFont usual = QApplication::font(impl.widget);
      if (usual.pointSizeF() > 0)
        font.setPointSizeF(usual.pointSizeF());
      else
        font.setPixelSize(usual.pixelSize());
    } else {
      font.setPointSizeF(size);
    }
  } else {
    return CheckFixed(className, p, FixedControlValues());
  }
  return true;
}

void ApplyInBatch(Control& control, QFont& font, const PropertySet& properties,
                  const std::function<void(const Property&)>& apply) {
  try {
    for (const Property& p : properties) apply(p);
  } catch (...) {
    CommitControlProperties(control, font);
    throw;
  }
  CommitControlProperties(control, font);
}

}  // namespace rt::ui::detail
