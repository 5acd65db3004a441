// The height units of a DEM, numbered as the dialog's question numbers them: 0 metres, 1
// decimetres, 2 centimetres, 3 millimetres. A height stored in unit u is its sample times
// 10^-u metres.
#pragma once

#include <string>

namespace scab {

constexpr int kUnitCount = 4;

bool is_unit(int unit);

// The unit's symbol, "m", "dm", "cm" or "mm": as command lines and Python name it.
const char* unit_symbol(int unit);

// The unit that `symbol` names, or -1 when it names none.
int unit_of_symbol(const std::string& symbol);

// The unit's name in messages: "metres", "decimetres", "centimetres" or "millimetres".
const char* unit_name(int unit);

// The unit's name as the report spells it: "meters", "decimeters", "centimeters" or
// "millimeters".
const char* unit_report_name(int unit);

// The factor that turns heights stored in `unit` into metres: the double nearest 1, 0.1, 0.01
// or 0.001.
double metres_per_unit(int unit);

// The decimals of a height in metres that a whole sample in `unit` has: u, for 10^-u metres.
int unit_decimals(int unit);

}  // namespace scab
