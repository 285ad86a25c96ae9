#include "support/probe_screen.h"

#include "support/probe_output.h"
#include "support/run_program.h"

#include <fstream>
#include <iterator>

namespace {

constexpr int kGlyph = 8;
constexpr int kVerdictScale = 4;
constexpr int kVerdictBand = kGlyph * kVerdictScale + 8;

bool glyphBit(char c, int row, int column) {
    const std::vector<uint8_t>& glyphs = probeFontGlyphs();
    if (c < 0x20 || c > 0x7E)
        c = '?';
    return (glyphs[static_cast<size_t>(c - 0x20) * kGlyph + row] & (0x80 >> column)) != 0;
}

// The report's rows on a screen `columns` wide: a line longer than that goes
// on in the next row; only the last `rows` rows stay.
std::vector<std::string> screenRows(const std::vector<std::string>& lines, int columns, int rows) {
    std::vector<std::string> wrapped;
    for (const std::string& line : lines) {
        size_t at = 0;
        do {
            wrapped.push_back(line.substr(at, static_cast<size_t>(columns)));
            at += static_cast<size_t>(columns);
        } while (at < line.size());
    }
    if (wrapped.size() > static_cast<size_t>(rows))
        wrapped.erase(wrapped.begin(), wrapped.end() - rows);
    return wrapped;
}

} // namespace

const std::vector<uint8_t>& probeFontGlyphs() {
    static const std::vector<uint8_t> glyphs = [] {
        std::ifstream in(buildPath("kernels/probe/probe_font.bin"), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes.resize(95 * kGlyph);
        return bytes;
    }();
    return glyphs;
}

bool isLight(sim::Rgb pixel) {
    return pixel.r + pixel.g + pixel.b > 3 * 128;
}

std::string probeScreenDifference(const sim::RgbImage& picture, const std::string& output, bool reverse) {
    int columns = picture.width / kGlyph;
    int rows = (picture.height - kVerdictBand) / kGlyph;
    std::vector<std::string> text = screenRows(probeLines(output), columns, rows);
    std::string verdict = probeVerdict(output).substr(0, 4);
    int verdict_x = (picture.width - 4 * kGlyph * kVerdictScale) / 2;
    int verdict_y = picture.height - kGlyph * kVerdictScale - 4;

    // Which pixels the kernel draws in the foreground; `what` (when asked)
    // names the character the pixel belongs to.
    auto foreground = [&](int x, int y, std::string* what) {
        int row = y / kGlyph, column = x / kGlyph;
        if (row < static_cast<int>(text.size()) && column < columns) {
            const std::string& line = text[static_cast<size_t>(row)];
            char c = column < static_cast<int>(line.size()) ? line[static_cast<size_t>(column)] : ' ';
            if (what != nullptr)
                *what =
                    "'" + std::string(1, c) + "' in text row " + std::to_string(row) + " \"" + line + "\"";
            return glyphBit(c, y % kGlyph, x % kGlyph);
        }
        int vx = x - verdict_x, vy = y - verdict_y;
        int size = kGlyph * kVerdictScale;
        if (vx >= 0 && vy >= 0 && vx < 4 * size && vy < size && verdict.size() == 4) {
            char c = verdict[static_cast<size_t>(vx / size)];
            if (what != nullptr)
                *what = "'" + std::string(1, c) + "' of the verdict " + verdict;
            return glyphBit(c, vy / kVerdictScale, (vx % size) / kVerdictScale);
        }
        if (what != nullptr)
            *what = "the background";
        return false;
    };
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            bool light = foreground(x, y, nullptr) != reverse;
            if (isLight(picture.at(x, y)) != light) {
                std::string what;
                foreground(x, y, &what);
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                       (light ? "dark" : "light") + ", not " + (light ? "light" : "dark") + ": " + what;
            }
        }
    }
    return "";
}
