// Answers the program's message boxes when nobody is at the screen
// (zandrel-window --answer, and the window tests): a thread timer finds each
// box as it opens, presses Yes or No by the policy (OK for a box without a
// question), and reports it as zandrel-sim does: "[CAPTION] text -> answer".
#pragma once

#include "ui/window/win32.h"

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

struct AnsweredBox {
    std::string caption, text; // UTF-8
    bool question;             // Yes/No, otherwise OK
    int answer;                // IDYES, IDNO or IDOK
};

class BoxAnswerer {
  public:
    // Starts watching the calling thread's windows.
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // The answer to questions once the scripted ones are used up.
    bool answer_yes = true;
    std::deque<bool> scripted;
    // Called for every box answered.
    std::function<void(const AnsweredBox&)> on_answer;
    std::vector<AnsweredBox> answered;

  private:
    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK visitWindow(HWND window, LPARAM self);
    void answer(HWND box);

    UINT_PTR timer_ = 0;
    std::set<HWND> pressed_;
};
