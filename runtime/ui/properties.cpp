#include <QApplication>
#include <QFontDatabase>

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

Color AsColor(const char* className, const Property& property) {
  return Get<Color>(className, property, "a Color");
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

bool ApplyControlProperty(const char* className, Control::Impl& impl, QFont& font,
                          const Property& p) {
  QWidget& widget = *impl.widget;
  const std::string& name = p.name;
  if (name == "Name") {
    impl.name = AsText(className, p);
    widget.setObjectName(ToQt(impl.name));
  } else if (name == "Index") {
    // Control sets do not exist in this layer; every control stands alone.
    AsInteger(className, p);
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
  } else if (name == "TabPanelIndex") {
    // No effect: there are no tab panels in this layer.
    AsInteger(className, p);
  } else if (name == "TabStop") {
    widget.setFocusPolicy(AsBool(className, p) ? Qt::StrongFocus : Qt::ClickFocus);
  } else if (name == "AllowAutoDeactivate") {
    // No effect: Qt draws the controls of an inactive window with the
    // style's own inactive colours in every case.
    AsBool(className, p);
  } else if (name == "AllowFocusRing") {
    widget.setAttribute(Qt::WA_MacShowFocusRect, AsBool(className, p));
  } else if (name == "Enabled") {
    widget.setEnabled(AsBool(className, p));
  } else if (name == "Visible") {
    impl.visible = AsBool(className, p);
    if (impl.window.lock()) widget.setVisible(impl.visible);
  } else if (name == "Tooltip") {
    widget.setToolTip(ToQt(AsText(className, p)));
  } else if (name == "Transparent") {
    // No effect: a control paints only its own parts over the window's
    // background, transparent or not.
    AsBool(className, p);
  } else if (name == "Bold") {
    font.setBold(AsBool(className, p));
  } else if (name == "Italic") {
    font.setItalic(AsBool(className, p));
  } else if (name == "Underline") {
    font.setUnderline(AsBool(className, p));
  } else if (name == "FontName") {
    // "System" (or nothing) is the platform's font for controls.
    const std::string& family = AsText(className, p);
    if (family.empty() || family == "System") {
      font.setFamily(QApplication::font(&widget).family());
    } else {
      font.setFamily(ToQt(family));
    }
  } else if (name == "FontSize") {
    // 0 keeps the usual size of the system font.
    const double size = AsNumber(className, p);
    if (size < 0) UnsupportedValue(className, p);
    if (size == 0) {
      const QFont usual = QApplication::font(&widget);
      if (usual.pointSizeF() > 0)
        font.setPointSizeF(usual.pointSizeF());
      else
        font.setPixelSize(usual.pixelSize());
    } else {
      font.setPointSizeF(size);
    }
  } else if (name == "FontUnit") {
    // 0, the default unit, is the point, the one FontSize is applied in.
    if (AsInteger(className, p) != 0) UnsupportedValue(className, p);
  } else if (name == "DataSource" || name == "DataField" || name == "InitialParent") {
    // No effect: this layer binds no control to a database and nests no
    // control inside another.
    AsText(className, p);
  } else {
    return false;
  }
  return true;
}

}  // namespace rt::ui::detail
