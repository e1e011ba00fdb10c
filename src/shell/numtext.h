// Numbers as text, fast: the same characters as printf's "%.*g" and
// "%*.*g" in the C locale (the program never changes its locale), without
// going through the stream's format parser.  Used where whole matrices are
// written.
#pragma once

#include <string>

// Appends x as "%.*g" with the given precision; returns the characters added.
int AppendG(std::string& out, double x, int precision);
// Same, right-aligned in at least width characters ("%*.*g").
int AppendGWidth(std::string& out, double x, int width, int precision);
