// Shared ground of the user-action tests: the panel connected to the
// simulated device with the poll held back, so that the line is idle when a
// test acts and the frames it received are exactly those the action caused.
#pragma once

#include "PanelFixture.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class QLineEdit;
class QWidget;
class TrhTrackBar;

using Strings = std::vector<std::string>;

class ActionsFixture : public PanelFixture {
protected:
    // Starts the device, connects, reads the whole state and then quiets the
    // line (poll suspended, nothing pending) and forgets what the device
    // received so far.
    void Connect(sim::SimOptions options = {});
    // Puts the device into its state at Connect with `setup` applied, has the
    // panel read it all again and forgets the frames: a test's own starting
    // state, or a fresh start for the next row of a table.
    void Resync(const std::function<void(sim::DeviceState&)>& setup = {});
    // Waits until nothing is on the line or queued.
    void Drain();
    // Drains, then the frames the device received since the last clear
    // (polls left out), and clears them.
    std::vector<std::string> Sent();

    // A user's drag: the fader takes the focus, then moves.
    void Drag(TrhTrackBar* fader, int position);
    // Puts `text` into the box (as typed or pasted) and presses Enter.
    void Enter(QLineEdit* edit, const QString& text);
    // Moves the focus to a control that takes no part in the actions.
    void FocusElsewhere();
    void ShowTab(QWidget* page);

    sim::DeviceState initial_;
};

// The expected frame of a control command: 10 02 01 len sub payload 10 03 xor,
// built here from the line format rather than by the codec under test.
std::string Frame(std::uint8_t sub, std::initializer_list<std::uint8_t> payload);
// `first`, then the frames of the whole-state read in order.
std::vector<std::string> FullStateFrames(std::vector<std::string> first = {});
