// Numbers to text and back with "." as the decimal separator, whatever the
// process's locale: the window switches the C library to the desktop's, where
// printf and strtod would write and read "2,5".
#pragma once

#include <string>

namespace quorix {

// As printf's "%.<significant>Lg" in the C locale ("1e+20", "0.1").
std::string FormatSignificant(long double value, int significant);
// As printf's "%.<decimals>Lf" in the C locale.
std::string FormatFixed(long double value, int decimals);
// The first count characters of UTF-8 text (a byte that does not start a
// sequence continues the character before it), never cutting one in two.
std::string FirstCharacters(const std::string& text, size_t count);

// The whole text as a finite decimal number ("+" and surrounding blanks allowed).
bool ParseDecimal(const std::string& text, double& value);

}  // namespace quorix
