// A picture of where the pointer went: the screen area the recording
// covers, the path through it, the clicks on it and a legend below.
#include "bytes.h"
#include "rectool.h"
#include "../engine/winconst.h"
#include <cairo.h>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace {

constexpr int MARGIN = 24;
constexpr int LEGEND = 64;
constexpr int MIN_WIDTH = 560;

struct Mapping {
    double minX, minY, scale;
    double X(int32_t x) const { return MARGIN + (double(x) - minX) * scale + 0.5; }
    double Y(int32_t y) const { return MARGIN + (double(y) - minY) * scale + 0.5; }
};

void Dot(cairo_t *cr, double x, double y, double r, double red, double green, double blue) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, red, green, blue);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void Ring(cairo_t *cr, double x, double y, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

void Square(cairo_t *cr, double x, double y, double r, double red, double green, double blue) {
    cairo_rectangle(cr, x - r, y - r, 2 * r, 2 * r);
    cairo_set_source_rgb(cr, red, green, blue);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// A wedge pointing the way the wheel turned: up or down, left or right.
void Wedge(cairo_t *cr, double x, double y, double r, int dx, int dy, const double rgb[3]) {
    cairo_move_to(cr, x + dx * r, y - dy * r);
    cairo_line_to(cr, x - dx * r + dy * r, y + dy * r + dx * r);
    cairo_line_to(cr, x - dx * r - dy * r, y + dy * r - dx * r);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

const double PATH_RGB[3] = {0.16, 0.38, 0.70};
const double LEFT_RGB[3] = {0.85, 0.15, 0.15};
const double RIGHT_RGB[3] = {0.55, 0.20, 0.75};
const double START_RGB[3] = {0.10, 0.60, 0.25};
const double WHEEL_RGB[3] = {0.95, 0.55, 0.05};

void Text(cairo_t *cr, double x, double y, const char *s) {
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s);
}

struct WriteState {
    PngWriter write;
    void *context;
};

cairo_status_t WritePiece(void *closure, const unsigned char *data, unsigned int length) {
    auto *w = static_cast<WriteState *>(closure);
    return w->write(w->context, data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

bool PlotRecording(const uint8_t *data, uint64_t size, const char *title, PlotSize limits,
                   PngWriter write, void *context, std::string &error) {
    RecSummary s;
    Summarize(data, size, &s);
    // The area as the pointer covered it, one pixel at least each way.
    double spanX = s.anyPointer ? double(s.maxX) - double(s.minX) + 1 : 640;
    double spanY = s.anyPointer ? double(s.maxY) - double(s.minY) + 1 : 480;
    double scale = std::fmin(limits.maxWidth / spanX, limits.maxHeight / spanY);
    if (scale > 1) scale = 1; // never larger than the screen itself
    int areaW = int(std::ceil(spanX * scale)), areaH = int(std::ceil(spanY * scale));
    if (areaW < 1) areaW = 1;
    if (areaH < 1) areaH = 1;
    int width = areaW + 2 * MARGIN, height = areaH + 2 * MARGIN + LEGEND;
    if (width < MIN_WIDTH) width = MIN_WIDTH;
    Mapping map = {double(s.minX), double(s.minY), scale};

    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        error = "cannot make a picture of that size";
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_rectangle(cr, MARGIN, MARGIN, areaW, areaH);
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    // The path through every pointer record in order, clicks included: a
    // press is where the pointer was when it happened.
    bool first = true;
    int32_t startX = 0, startY = 0, endX = 0, endY = 0;
    for (uint64_t i = 0; i < s.records; i++) {
        EventRecord r = RecordAt(data, i);
        if (!IsPointerKind(r.message)) continue;
        int32_t x = int32_t(r.paramL), y = int32_t(r.paramH);
        if (first) {
            cairo_move_to(cr, map.X(x), map.Y(y));
            startX = x;
            startY = y;
            first = false;
        } else {
            cairo_line_to(cr, map.X(x), map.Y(y));
        }
        endX = x;
        endY = y;
    }
    cairo_set_source_rgba(cr, PATH_RGB[0], PATH_RGB[1], PATH_RGB[2], 0.8);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    // A wheel turns where the pointer is: at the last place a record gave,
    // or before any, at the first.
    uint64_t lefts = 0, rights = 0, wheels = 0;
    int32_t atX = startX, atY = startY;
    for (uint64_t i = 0; i < s.records; i++) {
        EventRecord r = RecordAt(data, i);
        int32_t x = int32_t(r.paramL), y = int32_t(r.paramH);
        if (IsPointerKind(r.message)) {
            atX = x;
            atY = y;
        }
        if (IsWheelKind(r.message)) {
            int32_t delta = int32_t(r.paramL);
            int sign = delta > 0 ? 1 : delta < 0 ? -1 : 0;
            // Beside the place, so a click there still shows: the vertical
            // wheel to its right, the horizontal one below it, each way on
            // its own side.
            if (s.anyPointer && sign) {
                double px = map.X(atX), py = map.Y(atY);
                if (r.message == WM_MOUSEWHEEL)
                    Wedge(cr, px + 10, py - 6 * sign, 5, 0, sign, WHEEL_RGB);
                else
                    Wedge(cr, px + 6 * sign, py + 10, 5, sign, 0, WHEEL_RGB);
            }
            wheels++;
        } else if (r.message == WM_LBUTTONDOWN) {
            Dot(cr, map.X(x), map.Y(y), 4.5, LEFT_RGB[0], LEFT_RGB[1], LEFT_RGB[2]);
            lefts++;
        } else if (r.message == WM_RBUTTONDOWN) {
            Square(cr, map.X(x), map.Y(y), 4.5, RIGHT_RGB[0], RIGHT_RGB[1], RIGHT_RGB[2]);
            rights++;
        }
    }

    // Start and end on top, the end as a ring so a click there still shows.
    if (s.anyPointer) {
        Dot(cr, map.X(startX), map.Y(startY), 5, START_RGB[0], START_RGB[1], START_RGB[2]);
        Ring(cr, map.X(endX), map.Y(endY), 7);
    }

    // Legend: what the marks mean, and what area and file this is.
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    double ly = MARGIN + areaH + 22;
    char buf[160];
    // Cairo's text wants UTF-8; a file name may be any bytes.
    std::string name = title ? title : "";
    for (char &ch : name)
        if (static_cast<unsigned char>(ch) < 32 || static_cast<unsigned char>(ch) > 126) ch = '?';
    // One entry after the other: the mark, then its words.
    double lx = MARGIN;
    for (int entry = 0; entry < 6; entry++) {
        double mx = lx + 6, my = ly - 4;
        switch (entry) {
        case 0:
            cairo_set_source_rgba(cr, PATH_RGB[0], PATH_RGB[1], PATH_RGB[2], 0.8);
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, lx - 4, my);
            cairo_line_to(cr, lx + 16, my);
            cairo_stroke(cr);
            mx = lx + 10;
            std::snprintf(buf, sizeof buf, "path");
            break;
        case 1:
            Dot(cr, mx, my, 5, START_RGB[0], START_RGB[1], START_RGB[2]);
            std::snprintf(buf, sizeof buf, "start");
            break;
        case 2:
            Ring(cr, mx, my, 6);
            std::snprintf(buf, sizeof buf, "end");
            break;
        case 3:
            Dot(cr, mx, my, 4.5, LEFT_RGB[0], LEFT_RGB[1], LEFT_RGB[2]);
            std::snprintf(buf, sizeof buf, "left click (%" PRIu64 ")", lefts);
            break;
        case 4:
            Square(cr, mx, my, 4.5, RIGHT_RGB[0], RIGHT_RGB[1], RIGHT_RGB[2]);
            std::snprintf(buf, sizeof buf, "right click (%" PRIu64 ")", rights);
            break;
        default:
            Wedge(cr, mx, my, 5, 0, 1, WHEEL_RGB);
            std::snprintf(buf, sizeof buf, "wheel (%" PRIu64 ")", wheels);
            break;
        }
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Text(cr, mx + 10, ly, buf);
        cairo_text_extents_t ext;
        cairo_text_extents(cr, buf, &ext);
        lx = mx + 10 + ext.x_advance + 18;
    }
    if (s.anyPointer)
        std::snprintf(buf, sizeof buf, "%.60s: x %d..%d, y %d..%d, %" PRIu64 " records",
                      name.c_str(), int(s.minX), int(s.maxX), int(s.minY), int(s.maxY), s.records);
    else
        std::snprintf(buf, sizeof buf, "%.60s: no pointer records, %" PRIu64 " records",
                      name.c_str(), s.records);
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    Text(cr, MARGIN, ly + 24, buf);

    cairo_destroy(cr);
    WriteState ws = {write, context};
    cairo_status_t status = cairo_surface_write_to_png_stream(surface, WritePiece, &ws);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}
