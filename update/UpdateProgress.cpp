#include "UpdateProgress.h"

#include <algorithm>

void UpdateProgress::Status(const std::string& text)
{
    static const std::string kProgramming = "Programming";
    if (text == "Page Erase") {
        step_ = Step::Erasing;
    } else if (text.starts_with(kProgramming)) {
        // The page runs into the word: "Programming52".
        step_ = Step::Programming;
        const std::string digits = text.substr(kProgramming.size());
        page_ = digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos
                    ? 0
                    : std::clamp(std::stoi(digits.substr(0, 4)), 0, kPagesPerPass);
    } else if (text == "Program Finish" || text == "MCU Reset" || text == "Update OK") {
        step_ = Step::Finishing;
    }
    status_ = text.starts_with(kProgramming) ? kProgramming : text;
    Show();
}

void UpdateProgress::Position(int page)
{
    // The reset's 0 is no step back.
    if (step_ != Step::Finishing) {
        page_ = std::clamp(page, 0, kPagesPerPass);
    }
    Show();
}

void UpdateProgress::Show()
{
    int percent = 0;
    switch (step_) {
    case Step::Waiting: break;
    case Step::Erasing: percent = page_ * 50 / kPagesPerPass; break;
    case Step::Programming: percent = 50 + page_ * 50 / kPagesPerPass; break;
    case Step::Finishing: percent = 100; break;
    }
    percent_ = std::max(percent_, percent);
    const std::string pages = " page " + std::to_string(page_) + " of " + std::to_string(kPagesPerPass);
    switch (step_) {
    case Step::Erasing: text_ = "Erasing" + pages; break;
    case Step::Programming: text_ = status_ + pages; break;
    default: text_ = status_; break;
    }
}
