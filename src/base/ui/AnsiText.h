#pragma once
// The program's text is Windows-1252 bytes; Qt wants QString. These two are
// the only crossings between them in the widgets.

#include <QString>
#include <string>

namespace bexora {

// Every byte maps to one character; the five bytes Windows-1252 leaves
// undefined map to the control characters of the same value, as Windows does.
QString FromAnsi(const std::string& text);
// Characters without a Windows-1252 byte become '?'.
std::string ToAnsi(const QString& text);

}  // namespace bexora
