#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace rt::ui {

struct Color {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Color&) const = default;
};

// A design-time property value: Boolean, Integer, number (single-precision
// values are carried as double), text or colour.
using PropertyValue = std::variant<bool, int64_t, double, std::string, Color>;

struct Property {
  std::string name;
  PropertyValue value;
};

// One fixed set of named values, applied in one batch by SetProperties.
using PropertySet = std::vector<Property>;

}  // namespace rt::ui
