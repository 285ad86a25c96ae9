#include "window/box_answerer.h"

#include "window/win_text.h"

namespace {

constexpr UINT kPollMilliseconds = 20;
constexpr int kMessageTextId = 0xFFFF; // the message box's text control
BoxAnswerer* watching = nullptr;       // the thread timer has no context word

std::string windowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return utf8(text);
}

bool isMessageBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window) &&
           GetDlgItem(window, kMessageTextId) != nullptr;
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

std::string boxLine(const AnsweredBox& box) {
    std::string text = box.text;
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    const char* answer = box.answer == IDYES ? "Yes" : box.answer == IDNO ? "No" : "OK";
    return "[" + box.caption + "] " + text + " -> " + answer + "\n";
}
