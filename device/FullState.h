// The inquiries that read the device's whole state, in the order they go out
// after connecting, loading a preset or restoring the factory default.
#pragma once

#include "Lcmd.h"

#include <vector>

std::vector<LCmd> FullStateInquiries();
