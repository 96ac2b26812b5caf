// The inquiries that read the device's whole state, in the order they go out
// after connecting, loading a preset or restoring the factory default, each
// with the report that answers it.
#pragma once

#include "DeviceState.h"
#include "Lcmd.h"
#include "ReportDecoder.h"

#include <vector>

struct Inquiry {
    LCmd command;
    // The answer's kind and, where it names one, its channel or pair
    // (DuckSetting: its setting). The DX inquiries 00..02 ask for nothing
    // the panel keeps: NoEffect (an acknowledgement does as well).
    ReportKind kind = ReportKind::NoEffect;
    std::uint8_t channel = 0;
    DuckSetting setting = DuckSetting::Threshold;
};

std::vector<Inquiry> FullStateRead();
std::vector<LCmd> FullStateInquiries();

// The inquiries that read again what a confirmed change of item `changed`
// may have moved besides itself on a device in `state`: while a pair is
// ganged the device drives its right output with the left one, and ganging
// a pair with one side muted mutes both.
std::vector<Inquiry> PartnerInquiries(int changed, const DeviceState& state);

// The inquiry a command is, with the report that answers it: one of the
// full read's, or any reply at all for one the read does not make.
Inquiry InquiryOf(const LCmd& command);

// Whether `reply` is the answer to `inquiry` (a refusal is not).
bool Answers(const Inquiry& inquiry, const ReportEvent& reply);
