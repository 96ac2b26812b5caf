// A QR code drawn with text, for a phone to read off a terminal: two rows
// of modules per line, in half-block characters, with the quiet zone the
// code needs around it. Empty when the program was built without libqrencode.
#pragma once

#include <string>

std::string QrText(const std::string& text);
