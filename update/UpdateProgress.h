// What a person sees of an update's progress. The updater counts pages as
// the boot loader needs them: erasing reports pages 1..111, programming
// 1..112 (one page past the image) and the reset 0, with the status text
// "Programming" and the page run together. Shown as they are, that reads
// 112/111 and falls back to 0 just before "Update OK".
//
// Here the two passes make one bar from 0 to 100 that never goes back and is
// full once the device is told to finish, and the text names the step and
// the page apart: "Programming page 52 of 112".
#pragma once

#include <string>

class UpdateProgress {
public:
    static constexpr int kPagesPerPass = 112;  // pages 0..111 are erased and programmed

    // The updater's status text and progress position, as they come.
    void Status(const std::string& text);
    void Position(int page);

    int Percent() const { return percent_; }
    const std::string& Text() const { return text_; }

private:
    void Show();

    enum class Step { Waiting, Erasing, Programming, Finishing } step_ = Step::Waiting;
    int page_ = 0;
    int percent_ = 0;
    std::string status_;
    std::string text_;
};
