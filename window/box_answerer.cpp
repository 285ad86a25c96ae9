#include "window/box_answerer.h"

#include "window/message_box.h"
#include "window/win_text.h"

namespace {

constexpr UINT kPollMilliseconds = 20;
BoxAnswerer* watching = nullptr; // the thread timer has no context word

std::string windowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return utf8(text);
}

} // namespace

BoxAnswerer::BoxAnswerer() {
    watching = this;
    timer_ = SetTimer(nullptr, 0, kPollMilliseconds, onTimer);
}

BoxAnswerer::~BoxAnswerer() {
    KillTimer(nullptr, timer_);
    watching = nullptr;
}

void CALLBACK BoxAnswerer::onTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (watching != nullptr)
        EnumThreadWindows(GetCurrentThreadId(), visitWindow, reinterpret_cast<LPARAM>(watching));
}

BOOL CALLBACK BoxAnswerer::visitWindow(HWND window, LPARAM self) {
    if (isMessageBox(window))
        reinterpret_cast<BoxAnswerer*>(self)->answer(window);
    return TRUE;
}

void BoxAnswerer::answer(HWND box) {
    // A box already pressed may still be closing.
    for (auto it = pressed_.begin(); it != pressed_.end();)
        it = IsWindow(*it) ? std::next(it) : pressed_.erase(it);
    if (pressed_.count(box) != 0)
        return;
    pressed_.insert(box);
    AnsweredBox record{windowText(box), windowText(GetDlgItem(box, kMessageTextId)),
                       GetDlgItem(box, IDYES) != nullptr, IDOK};
    if (record.question) {
        bool yes = answer_yes;
        if (!scripted.empty()) {
            yes = scripted.front();
            scripted.pop_front();
        }
        record.answer = yes ? IDYES : IDNO;
    }
    answered.push_back(record);
    if (on_answer)
        on_answer(record);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(record.answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, record.answer)));
}
