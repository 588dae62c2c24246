#include "frei0r/velmo_instance.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string_view>

#include "core/render_zone_frame.h"
#include "core/script_line.h"
#include "frei0r/velmo_parameters.h"

VelmoInstance::VelmoInstance(std::int32_t width, std::int32_t height) : width_(width), height_(height) {
    updateZone();
}

void VelmoInstance::setParameter(int index, const void* value) {
    if (value == nullptr) return;
    switch (index) {
        case kUp:
        case kLeft:
        case kRight:
        case kDown: {
            const double number = *static_cast<const double*>(value);
            if (const std::optional<std::int32_t> margin = marginFromParameter(number)) {
                margins_[index] = number;
                roundedMargins_[index] = *margin;
            }
            break;
        }
        case kBorder:
        case kShowFrame: {
            const double number = *static_cast<const double*>(value);
            if (flagFromParameter(number)) (index == kBorder ? border_ : showFrame_) = number;
            break;
        }
        case kConfig:
            setConfigLine(*static_cast<const char* const*>(value));
            break;
        default:
            return;
    }
    updateZone();
}

void VelmoInstance::getParameter(int index, void* value) {
    if (value == nullptr) return;
    switch (index) {
        case kUp:
        case kLeft:
        case kRight:
        case kDown:
            *static_cast<double*>(value) = margins_[index];
            break;
        case kBorder:
            *static_cast<double*>(value) = border_;
            break;
        case kShowFrame:
            *static_cast<double*>(value) = showFrame_;
            break;
        case kConfig:
            *static_cast<char**>(value) = configLine_.data();
            break;
        default:
            break;
    }
}

// MLT sets every parameter before every frame, so an unchanged line is neither parsed nor reported
// again: a bad line is reported once, and a frame costs no allocation.
void VelmoInstance::setConfigLine(const char* line) {
    const std::string_view text = line != nullptr ? line : "";
    if (text == configLine_) return;
    // Everything that can throw comes before the instance changes.
    std::string copy(text);
    Zone zone;
    std::string error;
    const bool empty = text.empty();
    const bool good = !empty && parseConfigLine(text, zone, error);
    if (!empty && !good)
        std::fprintf(stderr, "velmo.so: %s; the settings stay as they were\n", error.c_str());
    configLine_.swap(copy);
    if (empty) config_.reset();
    if (good) config_ = zone;
}

void VelmoInstance::updateZone() {
    zone_ = config_ ? *config_
                    : Zone{.up = roundedMargins_[kUp],
                           .left = roundedMargins_[kLeft],
                           .right = roundedMargins_[kRight],
                           .down = roundedMargins_[kDown],
                           .border = *flagFromParameter(border_)};
    view_ = *flagFromParameter(showFrame_) ? ZoneView::Outline : ZoneView::Shift;
}

void VelmoInstance::render(const std::uint32_t* input, std::uint32_t* output) {
    if (input == nullptr || output == nullptr || width_ <= 0 || height_ <= 0) return;
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    if (input == output) {
        // The transform reads pixels after writing others; a host that renders in place gets a
        // copy of its frame as the source. Kept for the next such frame, never grown again.
        try {
            inPlaceCopy_.resize(pixels);
        } catch (const std::exception&) {
            if (!reportedNoMemory_)
                std::fputs("velmo.so: no memory to render frames in place; they are left as they are\n",
                           stderr);
            reportedNoMemory_ = true;
            return;
        }
        std::copy_n(input, pixels, inPlaceCopy_.data());
        input = inPlaceCopy_.data();
    }
    // The transform only reads its source; FrameBitmap has one pixel type for both.
    const FrameBitmap source = bottomUpView(const_cast<Pixel32*>(input), width_, height_);
    const FrameBitmap destination = bottomUpView(output, width_, height_);
    renderZoneFrame(zone_, view_, source, destination, kOpaqueZoneColours);
}
