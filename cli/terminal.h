// Standard output and error of zandrel-sim, with a progress bar kept on the
// last line while standard output is a terminal.
#pragma once

#include <string_view>

class Terminal {
  public:
    explicit Terminal(bool progress_bar);
    ~Terminal();

    void out(std::string_view text);
    void err(std::string_view text);
    // Position 0..11 of the boot's progress bar.
    void setProgress(int position);

  private:
    void clearBar();
    void drawBar();

    bool bar_enabled_;
    bool bar_shown_ = false;
    int position_ = 0;
};
