// The inquiries that read the device's whole state, in the order they go out
// after connecting, loading a preset or restoring the factory default, each
// with the item it asks for. Which report the device gives in answer is its
// own choice: nothing here waits for a particular one.
#pragma once

#include "DeviceState.h"
#include "Lcmd.h"
#include "ReportDecoder.h"

#include <vector>

struct Inquiry {
    LCmd command;
    // The report that would carry the item asked for: its kind and, where it
    // names one, its channel or pair (DuckSetting: its setting). The DX
    // inquiries 00..02 ask for nothing the panel keeps: NoEffect.
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

// The inquiry a command is: one of the full read's, or one that asks for no
// item the state keeps.
Inquiry InquiryOf(const LCmd& command);

// The item an inquiry asks for, or -1.
int ItemOfInquiry(const Inquiry& inquiry);
