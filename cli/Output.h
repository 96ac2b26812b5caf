// How kestractl shows a state and a report to people.
#pragma once

#include "DeviceState.h"
#include "ReportDecoder.h"

#include <QJsonObject>
#include <QString>

#include <string>

// An update's progress as one terminal line, drawn over the last with "\r":
// "[#########                     ]  30% Erasing page 37 of 112". Always
// the same width (the text padded or cut to fit), so that a shorter text
// leaves nothing of a longer one behind; the bar is clamped to 0..100 %.
std::string ProgressLine(int percent, const std::string& text);

// The state as an aligned table.
QString StateTable(const DeviceState& state);

// One decoded report: "gain mic3 position 20 (-10dB)"; and as a JSON object.
QString EventText(const ReportEvent& e);
QJsonObject EventJson(const ReportEvent& e);
