// The toolbar's small caption, drawn inside its own window. A window
// manager's title bar on a 131-pixel window has room for its buttons and
// an ellipsis; this strip is the status line whatever manager there is, or
// none, and gives the window its close box and its drag to move.
#include "gtk_caption.h"
#include "gtk_layer.h"
#include "../../app/app.h"
#include "../../engine/types.h"
#include <cstring>

namespace {

constexpr int CLOSE_W = 12, CLOSE_H = 10;

// The close box sits at the caption's right end, 2 pixels in.
GdkRectangle CloseBox(int width) {
    return {width - TOOLBAR_FRAME - 2 - CLOSE_W, TOOLBAR_FRAME + (TOOLBAR_CAPTION - CLOSE_H) / 2,
            CLOSE_W, CLOSE_H};
}

bool Within(const GdkRectangle &inner, const GdkRectangle &outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

bool Inside(const GdkRectangle &r, double x, double y) {
    return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

bool InCaption(double y) {
    return y < TOOLBAR_FRAME + TOOLBAR_CAPTION;
}

bool g_closePressed = false;

void DrawCloseBox(cairo_t *cr, const GdkRectangle &b) {
    cairo_set_source_rgb(cr, 212 / 255.0, 208 / 255.0, 200 / 255.0);
    cairo_rectangle(cr, b.x, b.y, b.width, b.height);
    cairo_fill(cr);
    // Raised edges: light above and left, dark below and right.
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, b.x + 0.5, b.y + b.height);
    cairo_line_to(cr, b.x + 0.5, b.y + 0.5);
    cairo_line_to(cr, b.x + b.width, b.y + 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 64 / 255.0, 64 / 255.0, 64 / 255.0);
    cairo_move_to(cr, b.x + b.width - 0.5, b.y);
    cairo_line_to(cr, b.x + b.width - 0.5, b.y + b.height - 0.5);
    cairo_line_to(cr, b.x, b.y + b.height - 0.5);
    cairo_stroke(cr);
    // The cross, 2 pixels thick as the small caption's is.
    double cx = b.x + b.width / 2.0 - 0.5, cy = b.y + b.height / 2.0 - 0.5;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, cx - 2.5, cy - 2.5);
    cairo_line_to(cr, cx + 2.5, cy + 2.5);
    cairo_move_to(cr, cx + 2.5, cy - 2.5);
    cairo_line_to(cr, cx - 2.5, cy + 2.5);
    cairo_stroke(cr);
}

} // namespace

GdkRectangle CaptionTextArea(int width) {
    int left = TOOLBAR_FRAME, right = CloseBox(width).x;
    return {left, TOOLBAR_FRAME, right - left, TOOLBAR_CAPTION};
}

void CaptionDraw(cairo_t *cr, int width, int height, const char *text) {
    // A new text (a recording's clock, every second) redraws its own area
    // alone: the frame and the close box stay as they are.
    GdkRectangle clip;
    bool textOnly = gdk_cairo_get_clip_rectangle(cr, &clip) && Within(clip, CaptionTextArea(width));
    cairo_save(cr);
    // The frame: one dark line round the window, so it stands apart from
    // the desktop where no manager frames it.
    if (!textOnly) {
        cairo_set_source_rgb(cr, 64 / 255.0, 64 / 255.0, 64 / 255.0);
        cairo_set_line_width(cr, TOOLBAR_FRAME);
        cairo_rectangle(cr, TOOLBAR_FRAME / 2.0, TOOLBAR_FRAME / 2.0, width - TOOLBAR_FRAME,
                        height - TOOLBAR_FRAME);
        cairo_stroke(cr);
    }

    int cw = width - 2 * TOOLBAR_FRAME;
    cairo_pattern_t *g = cairo_pattern_create_linear(TOOLBAR_FRAME, 0, TOOLBAR_FRAME + cw, 0);
    cairo_pattern_add_color_stop_rgb(g, 0, 10 / 255.0, 36 / 255.0, 106 / 255.0);
    cairo_pattern_add_color_stop_rgb(g, 1, 90 / 255.0, 140 / 255.0, 210 / 255.0);
    cairo_set_source(cr, g);
    cairo_rectangle(cr, TOOLBAR_FRAME, TOOLBAR_FRAME, cw, TOOLBAR_CAPTION);
    cairo_fill(cr);
    cairo_pattern_destroy(g);

    GdkRectangle close = CloseBox(width);
    // The text is cut at the close box, never wrapped or shrunk: at this
    // size the longest status, "PLAY 00:07 (2/3)", fits with room to spare.
    int textLeft = TOOLBAR_FRAME + 3, textRight = close.x - 2;
    // One layout for the window's life: a new one per draw would build a
    // context and look the font up again each time, most of a recording's
    // cost while nothing happens (its clock redraws this every second).
    static PangoLayout *layout = nullptr;
    if (!layout) {
        layout = pango_cairo_create_layout(cr);
        PangoFontDescription *font = pango_font_description_from_string("Sans Bold");
        pango_font_description_set_absolute_size(font, 9 * PANGO_SCALE);
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    } else {
        pango_cairo_update_layout(cr, layout);
    }
    const char *shown = text ? text : "";
    if (std::strcmp(pango_layout_get_text(layout), shown) != 0)
        pango_layout_set_text(layout, shown, -1);
    pango_layout_set_width(layout, (textRight - textLeft) * PANGO_SCALE);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, textLeft, TOOLBAR_FRAME + (TOOLBAR_CAPTION - th) / 2);
    pango_cairo_show_layout(cr, layout);

    if (!textOnly) DrawCloseBox(cr, close);
    cairo_restore(cr);
}

bool CaptionPress(GtkWindow *window, GdkEventButton *e, int width) {
    if (!InCaption(e->y)) return false;
    if (e->type != GDK_BUTTON_PRESS || e->button != 1) return true;
    if (Inside(CloseBox(width), e->x, e->y)) {
        g_closePressed = true;
        return true;
    }
    // The manager moves the window when it can; without one GTK moves it
    // itself while the button is held. A layer surface moves by its margins.
    if (ToolbarIsLayer())
        ToolbarLayerDragStart(e);
    else
        gtk_window_begin_move_drag(window, int(e->button), int(e->x_root), int(e->y_root), e->time);
    return true;
}

bool CaptionRelease(GdkEventButton *e, int width) {
    if (e->button != 1 || !g_closePressed) return false;
    g_closePressed = false;
    // Closed as the caption's close box closes a window: on the release over
    // it, so a press dragged away cancels.
    if (Inside(CloseBox(width), e->x, e->y)) AppWindowProc(MSG_CLOSE, 0, 0);
    return true;
}
