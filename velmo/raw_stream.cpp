#include "velmo/raw_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// Reads until `bytes` are in or the input ends; returns how many arrived, or -1 on an error.
std::ptrdiff_t readFully(int input, unsigned char* buffer, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = read(input, buffer + done, bytes - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::ptrdiff_t>(done);
}

bool writeFully(int output, const unsigned char* buffer, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t put = write(output, buffer + done, bytes - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Frame buffers start on a page boundary, as the kernel's pages for files and pipes do: on some CPUs
// (AMD Zen among them) the kernel's copy slows down several times when the user buffer sits a few
// bytes past a page boundary.
struct FreeBuffer {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using FrameBuffer = std::unique_ptr<std::uint8_t[], FreeBuffer>;

FrameBuffer pageAlignedFrame(std::size_t bytes) {
    constexpr std::size_t kPage = 4096;
    const std::size_t whole = (bytes + kPage - 1) / kPage * kPage;
    return FrameBuffer(static_cast<std::uint8_t*>(std::aligned_alloc(kPage, whole)));
}

// The frame's planes in `buffer`, as the transform numbers their rows.
PlanarFrame framePlanes(const PlanarFormat& format, const RawFrameLayout& layout, std::uint8_t* buffer) {
    std::uint8_t* data[kMaxPlanes] = {};
    for (int p = 0; p < format.planeCount; ++p)
        data[p] = buffer + layout.offsets[p];
    return bottomUpFrame(format, data, layout.linesizes);
}

// Frames are megabytes; the default 64 KiB pipe would take a hundred round trips for each. Larger
// pipes are a request, so a refusal (not a pipe, over the system's limit) changes nothing.
void widenPipe(int descriptor) {
#ifdef F_SETPIPE_SZ
    fcntl(descriptor, F_SETPIPE_SZ, 1 << 20);
#else
    (void)descriptor;
#endif
}

}  // namespace

RawFrameLayout rawFrameLayout(const PlanarFormat& format) {
    RawFrameLayout layout{};
    for (int p = 0; p < format.planeCount; ++p) {
        // At most 16384 samples of 4 bytes: an int holds the row, a size_t the plane.
        layout.linesizes[p] = planeWidth(format, p) * format.planes[p].sampleSize;
        layout.offsets[p] = layout.bytes;
        layout.bytes +=
            static_cast<std::size_t>(layout.linesizes[p]) * static_cast<std::size_t>(planeHeight(format, p));
    }
    return layout;
}

StreamReport filterRawStream(int input, int output, const Zone& zone, ZoneView view,
                             const PlanarFormat& format, const StreamWatch& watch) {
    StreamReport report;
    if (std::string problem = planarFormatProblem(format); !problem.empty()) {
        report.error = "the transform cannot take this format: " + problem;
        return report;
    }
    const RawFrameLayout layout = rawFrameLayout(format);
    const std::size_t frameBytes = layout.bytes;
    const FrameBuffer source = pageAlignedFrame(frameBytes), destination = pageAlignedFrame(frameBytes);
    if (!source || !destination) {
        report.error = "not enough memory for two frames of " + std::to_string(frameBytes) + " bytes";
        return report;
    }
    widenPipe(input);
    widenPipe(output);
    const PlanarFrame sourcePlanes = framePlanes(format, layout, source.get());
    const PlanarFrame destinationPlanes = framePlanes(format, layout, destination.get());

    for (;;) {
        const std::ptrdiff_t got = readFully(input, source.get(), frameBytes);
        if (got < 0) {
            report.error = std::string("cannot read the input: ") + std::strerror(errno);
            return report;
        }
        if (got == 0) return report;
        if (static_cast<std::size_t>(got) < frameBytes) {
            report.error = "the last frame is short: " + std::to_string(got) + " of " +
                           std::to_string(frameBytes) + " bytes (frame " + std::to_string(report.frames + 1) +
                           "; are --size and --pix-fmt right?)";
            return report;
        }
        // The format was checked above, so the frame is always rendered.
        const std::optional<VerticalShift> shift =
            renderZonePlanes(zone, view, format, sourcePlanes, destinationPlanes);
        if (report.frames == 0 && shift && watch.firstFrame) watch.firstFrame(*shift);
        if (!writeFully(output, destination.get(), frameBytes)) {
            report.error = std::string("cannot write the output: ") + std::strerror(errno);
            return report;
        }
        ++report.frames;
        if (watch.progress) watch.progress(report.frames);
    }
}
