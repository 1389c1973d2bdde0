#include "platform/sim/SimWindowModel.h"

namespace {

bool contains(const Rect& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

}  // namespace

Color SimPicture::pixel(int x, int y, Color background) const {
    Color color = background;
    for (const Fill& fill : fills) {
        if (contains(fill.area, x, y)) {
            color = fill.color;
        }
    }
    return color;
}

std::vector<const SimPicture::Text*> SimPicture::textsAt(int x, int y) const {
    std::vector<const Text*> found;
    for (const Text& text : texts) {
        if (contains(text.box, x, y) && contains(text.clip, x, y)) {
            found.push_back(&text);
        }
    }
    return found;
}

const SimControlState* SimDialogState::control(int id) const {
    for (const SimControlState& state : controls) {
        if (state.id == id) {
            return &state;
        }
    }
    return nullptr;
}
