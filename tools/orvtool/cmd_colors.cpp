// orvtool colors: the platform's colour and pen tables, as text or as a page
// of swatches. The page has a fixed geometry, so that a screenshot of it can
// be checked pixel by pixel: the colour chip of index i covers
// kLeft + (i % 16) * kPitchX .. + kChipW and kTop + (i / 16) * kPitchY .. + kChipH.
#include "orvtool.h"

#include "VSYST_Tables.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int kLeft = 150, kTop = 96, kPitchX = 100, kPitchY = 124, kChipW = 94, kChipH = 56;
const int kPenRow = 30, kPxPerMm = 8;

const char* const kBaseNames[16] = {"black", "white", "yellow", "cyan", "green", "magenta", "red", "blue",
                                    "orange", "cream", "lime", "olive", "ochre", "rust", "brown", "violet"};

struct Swatch {
    unsigned char rgb[3];
    std::string names[2];   // base colour and shade, up to two ways to reach the index
};

std::string shadeName(int base, long shade)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s %s%ld", kBaseNames[base], shade > 0 ? "+" : "\xE2\x88\x92",
                  shade > 0 ? shade : -shade);
    return text;
}

// Everything the page shows comes from the library's tables; the names come
// from asking getSystemColorIndex for every base colour and shade.
void readTables(Swatch (&s)[267])
{
    VSYST_ColorTable& table = VSYST_ColorTable::instance();
    for (unsigned long i = 0; i <= table.getMaxColorIndex(); ++i) {
        double c[3];
        table.getSystemColor(i, c[0], c[1], c[2]);
        for (int k = 0; k < 3; ++k) s[i].rgb[k] = static_cast<unsigned char>(std::lround(c[k] * 255));
    }
    for (int base = 0; base < 16; ++base) {
        const VSYST_ColorName name = static_cast<VSYST_ColorName>(base);
        s[table.getSystemColorIndex(name, 0)].names[0] = kBaseNames[base];
        for (long shade = -8; shade <= 8; ++shade) {
            const unsigned long i = table.getSystemColorIndex(name, shade);
            // Black and white shade into the grey ramp; what falls outside it is another colour's.
            if (shade == 0 || i < 16 || (base < 2 && i > 31)) continue;
            (s[i].names[0].empty() ? s[i].names[0] : s[i].names[1]) = shadeName(base, shade);
        }
    }
}

const char* rowLabel(int row)
{
    static const char* const fixed[3] = {"base colours", "greys", "further colours"};
    if (row == 0 || row == 1) return fixed[row];
    return row == 16 ? fixed[2] : kBaseNames[row];
}

int writePage(const std::string& path)
{
    Swatch s[267];
    readTables(s);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return orvtool::failure("cannot write the page " + path + ": " + std::strerror(errno));
    const int penTop = kTop + 17 * kPitchY + 40;
    std::fprintf(f,
                 "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                 "<title>OrvCore colour and pen tables</title>\n<style>\n"
                 "body{margin:0;background:#e9e6df;color:#2b2b2b;font:13px/18px sans-serif;"
                 "width:%dpx;height:%dpx;position:relative}\n"
                 "h1{position:absolute;left:24px;top:14px;margin:0;font-size:24px;line-height:32px}\n"
                 ".intro{position:absolute;left:24px;top:50px;width:1500px}\n"
                 ".row{position:absolute;left:24px;width:%dpx;font-weight:bold;text-align:right}\n"
                 ".swatch{position:absolute;width:%dpx;height:%dpx;background:#fff;border-radius:4px;"
                 "box-shadow:0 1px 3px rgba(0,0,0,.25);overflow:hidden}\n"
                 ".chip{height:%dpx}\n"
                 ".cap{font:10.5px/14px monospace;padding:1px 4px;white-space:nowrap;overflow:hidden}\n"
                 ".cap b{font-size:12px}\n"
                 ".pen{position:absolute;left:0;width:%dpx;text-align:right;white-space:nowrap}\n"
                 "</style></head><body>\n<h1>Colour and pen tables</h1>\n"
                 "<div class=\"intro\">%lu colours: the sixteen base colours, then per row the shades of one "
                 "base colour from the darkest (&minus;8) to the palest (+8), and eleven further colours. "
                 "Each swatch shows its index, RGB in hex and decimal, and its base colour and shade.</div>\n",
                 kLeft + 16 * kPitchX + 24, penTop + 15 * kPenRow + 40, kLeft - 40, kChipW,
                 kPitchY - 8, kChipH, kLeft - 16, VSYST_ColorTable::instance().getMaxColorIndex() + 1);
    for (int row = 0; row < 17; ++row)
        std::fprintf(f, "<div class=\"row\" style=\"top:%dpx\">%s</div>\n", kTop + row * kPitchY + 18, rowLabel(row));
    for (int i = 0; i < 267; ++i) {
        const unsigned char* c = s[i].rgb;
        const std::string& first = s[i].names[0].empty() ? std::string(i > 255 ? "further colour" : "grey")
                                                         : s[i].names[0];
        std::fprintf(f,
                     "<div class=\"swatch\" id=\"c%d\" style=\"left:%dpx;top:%dpx\" title=\"%d: %s%s%s\">"
                     "<div class=\"chip\" style=\"background:#%02X%02X%02X\"></div><div class=\"cap\"><b>%d</b> "
                     "#%02X%02X%02X<br>%d,%d,%d<br>%s<br>%s</div></div>\n",
                     i, kLeft + (i % 16) * kPitchX, kTop + (i / 16) * kPitchY, i, first.c_str(),
                     s[i].names[1].empty() ? "" : ", ", s[i].names[1].c_str(), c[0], c[1], c[2], i, c[0], c[1],
                     c[2], c[0], c[1], c[2], first.c_str(), s[i].names[1].c_str());
    }
    std::fprintf(f, "<h1 style=\"top:%dpx\">Pens</h1>\n<svg style=\"position:absolute;left:%dpx;top:%dpx\" "
                 "width=\"600\" height=\"%d\">\n", penTop - 44, kLeft, penTop, 15 * kPenRow);
    VSYST_PenTable& pens = VSYST_PenTable::instance();
    for (unsigned long p = 0; p < VSYST_PenTable::VPT_Count; ++p) {
        const double w = pens.getPenWidth(p);
        const int y = static_cast<int>(p) * kPenRow + kPenRow / 2;
        // A width of 0 draws the thinnest line the device has.
        std::fprintf(f, "<line x1=\"0\" y1=\"%d\" x2=\"560\" y2=\"%d\" stroke=\"#2b2b2b\" stroke-width=\"%.2f\"/>\n",
                     y, y, w > 0 ? w * kPxPerMm : 1.0);
    }
    std::fprintf(f, "</svg>\n");
    for (unsigned long p = 0; p < VSYST_PenTable::VPT_Count; ++p)
        std::fprintf(f, "<div class=\"pen\" style=\"top:%dpx\">pen %lu: %.2f mm%s</div>\n",
                     penTop + static_cast<int>(p) * kPenRow + 5, p, pens.getPenWidth(p),
                     pens.getPenWidth(p) > 0 ? "" : " (thinnest)");
    std::fprintf(f, "</body></html>\n");
    if (std::fclose(f) != 0) return orvtool::failure("cannot write the page " + path + ": " + std::strerror(errno));
    std::printf("%s: 267 colours and %d pens\n", path.c_str(), static_cast<int>(VSYST_PenTable::VPT_Count));
    return 0;
}

void listText()
{
    Swatch s[267];
    readTables(s);
    for (int i = 0; i < 267; ++i)
        std::printf("%3d  #%02X%02X%02X  %3d,%3d,%3d  %s%s%s\n", i, s[i].rgb[0], s[i].rgb[1], s[i].rgb[2], s[i].rgb[0],
                    s[i].rgb[1], s[i].rgb[2], s[i].names[0].c_str(), s[i].names[1].empty() ? "" : ", ",
                    s[i].names[1].c_str());
    for (unsigned long p = 0; p < VSYST_PenTable::VPT_Count; ++p)
        std::printf("pen %2lu  %.2f mm\n", p, VSYST_PenTable::instance().getPenWidth(p));
}

int colors(const orvtool::Args& args)
{
    if (args.empty()) {
        listText();
        return 0;
    }
    if (args[0] != "--html") return orvtool::usageError("colors", "unknown option '" + args[0] + "'");
    if (args.size() != 2) return orvtool::usageError("colors", "--html takes one FILE");
    return writePage(args[1]);
}

const char kColorsNotes[] =
    "Lists the 267 standard colours (index, RGB in hex and decimal, base colour and\n"
    "shade) and the 15 pen widths; with --html writes them to FILE as a page of\n"
    "swatches, the pens drawn as lines.";

}  // namespace

ORVTOOL_COMMAND_NOTES(colors, "colors", "colors [--html FILE]",
                      "list the standard colours and pen widths, or write them as a page of swatches",
                      "colors --html colours.html", kColorsNotes, colors);
