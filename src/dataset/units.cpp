#include "dataset/units.h"

#include <cassert>

namespace scab {
namespace {

struct Unit {
  const char* symbol;
  const char* name;
  const char* report_name;
  double metres;
};

const Unit kUnits[kUnitCount] = {
    {"m", "metres", "meters", 1.0},
    {"dm", "decimetres", "decimeters", 0.1},
    {"cm", "centimetres", "centimeters", 0.01},
    {"mm", "millimetres", "millimeters", 0.001},
};

const Unit& unit_at(int unit) {
  assert(is_unit(unit));
  return kUnits[unit];
}

}  // namespace

bool is_unit(int unit) {
  return unit >= 0 && unit < kUnitCount;
}

const char* unit_symbol(int unit) {
  return unit_at(unit).symbol;
}

int unit_of_symbol(const std::string& symbol) {
  for (int unit = 0; unit < kUnitCount; unit++) {
    if (symbol == kUnits[unit].symbol) return unit;
  }
  return -1;
}

const char* unit_name(int unit) {
  return unit_at(unit).name;
}

const char* unit_report_name(int unit) {
  return unit_at(unit).report_name;
}

double metres_per_unit(int unit) {
  return unit_at(unit).metres;
}

int unit_decimals(int unit) {
  assert(is_unit(unit));
  return unit;
}

}  // namespace scab
