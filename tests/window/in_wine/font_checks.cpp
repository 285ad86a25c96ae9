// Japanese letters in the pages' edit controls, in Tahoma and in a Japanese
// machine's system font.
#include "window_checks.h"

#include "window/screen_capture.h"

#include <string>
#include <vector>

namespace {

// The control's pixels as the screen shows them with `text` in it.
std::vector<uint8_t> pictureWith(WindowDriver& window, int id, const char* text) {
    window.setText(id, text);
    HWND control = window.control(id);
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200); // handed to the X server
    RECT place;
    GetWindowRect(control, &place);
    sim::RgbImage screen = captureScreen(place.right, place.bottom);
    std::vector<uint8_t> pixels;
    for (LONG y = place.top; y < place.bottom; ++y) {
        for (LONG x = place.left; x < place.right; ++x) {
            sim::Rgb p = screen.at(x, y);
            pixels.insert(pixels.end(), {p.r, p.g, p.b});
        }
    }
    return pixels;
}

// A letter the font lacks shows as the same empty box as any other: two
// katakana drawn alike are boxes. In the directory box, the extra options
// and the Console page's output, on a machine whose system font is Tahoma
// (its Japanese letters come from IPA Gothic) and on a Japanese one.
TEST_F(WindowChecks, JapaneseLettersShowInTheEditControls) {
    struct Place {
        int page, id;
    };
    for (const char16_t* machine : {u"HP Jornada 720 (US/UK)", u"Sharp W-ZERO3 (WS003SH)"}) {
        SCOPED_TRACE(utf16ToUtf8(machine));
        window_device::useMachine(prefs, machine);
        EXPECT_EQ(
            run([&](WindowDriver& window) {
                for (Place place : {Place{0, IDC_DIRECTORY}, Place{1, IDC_EXTRA}, Place{2, IDC_OUTPUT}}) {
                    SCOPED_TRACE(place.id);
                    window.showPage(place.page);
                    ASSERT_TRUE(
                        window.waitUntil([&] { return IsWindowVisible(window.pageOf(place.id)) != FALSE; }));
                    std::vector<uint8_t> ka = pictureWith(window, place.id, "\u30AB\u30AB");
                    std::vector<uint8_t> do_ = pictureWith(window, place.id, "\u30C9\u30C9");
                    std::vector<uint8_t> empty = pictureWith(window, place.id, "");
                    EXPECT_TRUE(ka != empty) << "nothing drawn";
                    EXPECT_TRUE(ka != do_) << "the letters are drawn as the same box";
                }
            }),
            0);
    }
}

} // namespace
