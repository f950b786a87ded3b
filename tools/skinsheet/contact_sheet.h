// The contact sheet of the viewer's theme (Windows only): the theme made
// current the way the viewer's layout does it, then every element family the
// skinned controls use painted in each of its states, labelled.
#pragma once

#include <string>

// Writes the sheet to a PNG file; returns the process exit code.
int WriteContactSheet(const std::string& fileName);
