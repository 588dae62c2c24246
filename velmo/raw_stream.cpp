#include "velmo/raw_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/render_zone_frame.h"
#include "velmo/image/picture.h"

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
    void operator()(Pixel32* p) const { std::free(p); }
};
using FrameBuffer = std::unique_ptr<Pixel32[], FreeBuffer>;

FrameBuffer pageAlignedFrame(std::size_t pixels) {
    constexpr std::size_t kPage = 4096;
    const std::size_t bytes = (pixels * sizeof(Pixel32) + kPage - 1) / kPage * kPage;
    return FrameBuffer(static_cast<Pixel32*>(std::aligned_alloc(kPage, bytes)));
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

StreamReport filterRawStream(int input, int output, const ZoneSettings& settings, std::int32_t w,
                             std::int32_t h, const std::function<void(std::uint64_t)>& progress) {
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::size_t frameBytes = pixels * sizeof(Pixel32);
    StreamReport report;
    const FrameBuffer source = pageAlignedFrame(pixels), destination = pageAlignedFrame(pixels);
    if (!source || !destination) {
        report.error = "not enough memory for two frames of " + std::to_string(frameBytes) + " bytes";
        return report;
    }
    widenPipe(input);
    widenPipe(output);
    auto* sourceBytes = reinterpret_cast<unsigned char*>(source.get());
    const FrameBitmap sourceView = bottomUpView(source.get(), w, h);
    const FrameBitmap destinationView = bottomUpView(destination.get(), w, h);

    for (;;) {
        const std::ptrdiff_t got = readFully(input, sourceBytes, frameBytes);
        if (got < 0) {
            report.error = std::string("cannot read the input: ") + std::strerror(errno);
            return report;
        }
        if (got == 0) return report;
        if (static_cast<std::size_t>(got) < frameBytes) {
            report.error = "the last frame is short: " + std::to_string(got) + " of " +
                           std::to_string(frameBytes) + " bytes (frame " + std::to_string(report.frames + 1) +
                           "; is --size right?)";
            return report;
        }
        // Opaque, as FFmpeg writes bgr0 and as bgra needs them.
        renderZoneFrame(settings, sourceView, destinationView, kOpaqueZoneColours);
        if (!writeFully(output, reinterpret_cast<const unsigned char*>(destination.get()), frameBytes)) {
            report.error = std::string("cannot write the output: ") + std::strerror(errno);
            return report;
        }
        ++report.frames;
        progress(report.frames);
    }
}
