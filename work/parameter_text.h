#pragma once
// The calculations keep their parameters as the texts the user typed and
// convert them when they run. These conversions read a decimal point whatever
// the user's locale, so a parameter means the same number on every machine.
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

/// ASCII upper case, as the parameter texts are stored ("1e-3" -> "1E-3").
std::string upperCase(std::string_view text);

/// A decimal number: blanks around it, an optional sign, digits with an optional
/// decimal point, an optional exponent ("1.5", "-.5", "2E-5"). Anything else
/// (empty text, a comma, "inf", trailing text) gives no value.
std::optional<double> parseDecimal(std::string_view text);

/// The value of a parameter text: parseDecimal, or 0 for a text that is not a
/// number (parameters are never validated and no message is shown).
double parameterNumber(std::string_view text);

/// An integer parameter: leading blanks skipped; a whole signed integer keeps
/// its sign ("+4" is 4, "-7" is -7); otherwise the unsigned digits before the
/// first character that is not a digit, after skipping one sign ("12.5" is 12,
/// "1e3" is 1, "-3x" is 3); 0 when there are none. Saturates at the int range.
int parameterInteger(std::string_view text);

} // namespace quorvane
