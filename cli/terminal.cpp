#include "cli/terminal.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
constexpr int kSteps = 11;
constexpr int kWidth = 33;
} // namespace

Terminal::Terminal(bool progress_bar) : bar_enabled_(progress_bar && isatty(STDOUT_FILENO)) {}

Terminal::~Terminal() {
    clearBar();
}

void Terminal::clearBar() {
    if (bar_shown_) {
        std::fputs("\r\033[K", stdout);
        bar_shown_ = false;
    }
}

void Terminal::drawBar() {
    if (!bar_enabled_ || position_ == 0)
        return;
    int filled = position_ * kWidth / kSteps;
    std::string bar = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                      std::to_string(position_) + "/" + std::to_string(kSteps);
    std::fputs(bar.c_str(), stdout);
    std::fflush(stdout);
    bar_shown_ = true;
}

void Terminal::out(std::string_view text) {
    clearBar();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    drawBar();
}

void Terminal::err(std::string_view text) {
    clearBar();
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    drawBar();
}

void Terminal::setProgress(int position) {
    position_ = position < 0 ? 0 : position > kSteps ? kSteps : position;
    clearBar();
    drawBar();
}
