#include "suggest/zone_suggestion.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/zone_geometry.h"
#include "suggest/dead_lines.h"
#include "suggest/edge_spread.h"
#include "suggest/head_switching.h"
#include "suggest/lasting_structure.h"
#include "suggest/line_statistics.h"
#include "suggest/partial_lines.h"
#include "suggest/ragged_edge.h"
#include "suggest/stripes.h"

// How the zone is found. Each side is read as lines at growing depth from the frame's edge, in
// every frame that shows picture.
// 1. Line statistics tell dead lines (no picture: overscan, blanking, data, remnants) from the
//    picture, by structure shared with the next line of the field, level and colour, not by
//    brightness alone; a flat area that drifts in level is picture (a sky), a wide flat group is
//    picture (a test pattern's bar).
// 2. A band of the picture's own black inside the dead lines, wide, with its partner on the
//    opposite side (letterbox, pillarbox) or before a flat picture (a test pattern), is picture.
// 3. Past the dead lines, each line across the side is followed to where its picture starts
//    (ragged edges, timebase error, drifting bars, half lines), and the edge's spread (blur,
//    ringing, chroma smear and delay) is pooled over all lines and frames; at the bottom, a
//    head-switching band per field.
// 4. Each frame gives a depth per side; the side's depth is the deepest that the frames reach by
//    degrees (a single frame counts; a frame standing far apart from the rest is the picture's
//    own content). Each side's lines are limited to the zone the other sides leave; two rounds
//    settle them.

namespace {

// Frames smaller than this have no room for overscan and a picture.
constexpr std::int32_t kSmallest = 48;
// The filter's least zone size.
constexpr std::int64_t kLeastZone = kLeastZoneSize;
// Limited-range black: the picture's own black (letterbox bars, fades, black content).
constexpr float kPictureBlack = 16.0f;
// A frame whose middle varies less than this (deviation of block means, levels) shows no picture:
// black or flat (a fade's end, a cut).
constexpr float kBlankFrame = 1.5f;
// Frames showing less than this share of the clip's usual picture strength (deep in a fade) are
// passed over: their flat picture is too weak to tell from blanking.
constexpr float kWeakFrame = 0.2f;
// Share of each dimension read for dead lines: letterbox bars of 2.35:1 in 4:3 take 22 %.
constexpr float kDeepestDead = 0.35f;
// Lines read first for dead lines; all are read when the dead ones come within a few of their end.
constexpr int kFirstLines = 48;
constexpr int kFirstLinesLeft = 6;
// Pixels past the dead lines searched on each line for the picture's start.
constexpr int kRaggedSearch = 28;
// A band of the picture's black at least this share of the dimension may be its own (letterbox).
constexpr float kBandLeast = 0.04f;
// Without dead lines, a ragged edge shows on at least this share of the lines.
constexpr float kRaggedEvidence = 0.5f;
// A frame shows its side's edge when it has a start on at least this share of the lines that the
// frame with the most has; its jitter, all but the widest tenth of such frames', holds for the rest.
constexpr float kShowingShare = 0.7f;
constexpr float kUsualJitter = 0.9f;
// Blanking is darker than this (as dead_lines.cpp has it).
constexpr float kBlankBrightest = 72.0f;
// Frame depths reached in steps of at most this many lines are one damage's jitter and drift;
// past a wider gap they still count when this share of the frames lies there.
constexpr int kFrameGap = 3;
constexpr float kFrameShare = 0.1f;
// Overscan is dead in every frame, its depth varying by degrees (bounce, drift): dead lines far
// deeper in fewer than half the frames are a scene's own flat dark there.
constexpr float kDeadShare = 0.5f;
// The topmost line of a head-switching band is torn by a pixel or two: one line of its field, two
// of the frame, when a lossy codec's blur hides the slightest tear in every frame. Decoded
// losslessly, the frames that see it set the band's depth, and the line of the other field just
// above it may be torn as slightly: one line.
constexpr int kUnseenTear = 2;
constexpr int kUnseenTearLossless = 1;
// Lines of a black band next to dead lines that a lossy codec's blocks spread the dead lines' level
// into.
constexpr int kLossyBandSpread = 1;
// ... and shows in most frames: in fewer than this share it is the picture's own fast motion.
constexpr float kTornShare = 0.3f;
// Frames that put a head-switching band deeper than this share of them does see the picture's own
// detail there.
constexpr float kUsualTorn = 0.9f;
// A band's top over the middle of the frame lies at most this many lines deeper than over the whole
// zone: one band, torn by varying amounts along its lines. Deeper still, the middle's reading is
// the picture's own detail.
constexpr int kTearAlong = 4;
// Lines left off each end of a side's span in the second round, in case another side's first
// estimate fell short of its damage.
constexpr int kRangeShrink = 8;
// Frames that disagree this widely (share of the dimension), with few frames at the deep end,
// cannot tell damage from picture.
constexpr float kDisagreement = 0.12f;
constexpr float kDisagreeingShare = 0.25f;

struct Range {
    int t0, t1;
};

ZoneSide opposite(ZoneSide side) {
    switch (side) {
        case ZoneSide::Up:
            return ZoneSide::Down;
        case ZoneSide::Down:
            return ZoneSide::Up;
        case ZoneSide::Left:
            return ZoneSide::Right;
        case ZoneSide::Right:
            break;
    }
    return ZoneSide::Left;
}

// How much picture a frame's middle shows: the deviation of 8 x 8 block means of luma.
float pictureStrength(const CaptureFrame& frame) {
    std::vector<float> means;
    for (std::int32_t by = frame.h / 4; by + 8 <= frame.h * 3 / 4; by += 8)
        for (std::int32_t bx = frame.w / 4; bx + 8 <= frame.w * 3 / 4; bx += 8) {
            int sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += frame.y[frame.at(bx + x, by + y)];
            means.push_back(static_cast<float>(sum) / 64.0f);
        }
    double mean = 0, squares = 0;
    for (const float m : means)
        mean += m, squares += double{m} * m;
    if (means.empty()) return 0;
    mean /= static_cast<double>(means.size());
    return static_cast<float>(
        std::sqrt(std::max(0.0, squares / static_cast<double>(means.size()) - mean * mean)));
}

// The level of a side's outermost line where it is darkest: a ragged edge's overscan, when there
// are no dead lines to take it from.
BarLevel edgeLevel(const SideLines& lines) {
    std::vector<float> y;
    for (int t = lines.t0; t < lines.t1; ++t)
        y.push_back(static_cast<float>(lines.y(0, t)));
    BarLevel bar;
    bar.y = percentile(y, 0.1f);
    bar.noise = 2;
    return bar;
}

// What one frame shows on one side.
struct FrameSide {
    int dead = 0;            // first line that is not dead
    int blackStart = 0;      // where the dead lines at the picture's black begin
    int noisyBlack = 0;      // lines from the edge at the picture's black, but noisy
    bool flatAfter = false;  // the picture after the dead lines is flat
    int flatTail = 0;        // flat lines that end the dead run (a stripe, or the picture's own)
    float deadLevel = 0, deadNoise = 0;
    int stripes = 0;
    int depth = -1;  // the deepest damaged line
    int ragged = -1, torn = -1, partial = -1;
};

struct SideResult {
    SideFindings findings;
    int depth = -1;
    int tornDepth = -1;   // the deepest head-switching band's top
    std::string refusal;  // set when the frames cannot support an answer
};

class Finder {
public:
    Finder(std::span<const CaptureFrame> frames, std::vector<std::size_t> usable, std::vector<float> noises)
        : frames_(frames), usable_(std::move(usable)), noises_(std::move(noises)) {}

    std::array<SideResult, 4> run(const std::array<Range, 4>& ranges) {
        std::array<std::vector<FrameSide>, 4> sides;
        for (std::size_t k = 0; k < 4; ++k)
            sides[k] = readDeadLines(static_cast<ZoneSide>(k), ranges[k]);
        // A frame whose dead lines run far deeper than the others' shows the picture's own flat dark
        // there (a shadow, a black coat): its dead lines end where the other frames' do.
        for (auto& side : sides) {
            std::vector<int> dead;
            for (const FrameSide& f : side)
                dead.push_back(f.dead);
            const int limit = reachedMaximum(dead, kFrameGap, kDeadShare);
            // Blanking stripes are the signal's, in every frame; flat lines that end the dead run
            // in a few frames only are the picture's own (a white sky, a wall), however narrow.
            const auto withFlat =
                std::count_if(side.begin(), side.end(), [](const FrameSide& f) { return f.flatTail > 0; });
            const bool rare = static_cast<float>(withFlat) < kDeadShare * static_cast<float>(side.size());
            for (FrameSide& f : side) {
                f.dead = std::min(rare ? f.dead - f.flatTail : f.dead, limit);
                f.blackStart = std::min(f.blackStart, f.dead);
            }
        }
        // Faint picture taken for dead lines frame by frame shows its structure over the frames.
        // Rows only: at the top and bottom damage takes whole lines, while a column on the left or
        // right crosses ragged edges and timebase error, whose pattern holds over the frames too.
        for (const std::size_t k : {std::size_t{0}, std::size_t{3}}) {
            std::vector<SideLines> lines;
            std::vector<int> ends;
            for (std::size_t f = 0; f < sides[k].size(); ++f) {
                lines.push_back(
                    SideLines{frames_[usable_[f]], static_cast<ZoneSide>(k), ranges[k].t0, ranges[k].t1});
                ends.push_back(sides[k][f].dead);
            }
            ends = lastingStructureEnds(lines, ends);
            for (std::size_t f = 0; f < sides[k].size(); ++f) {
                sides[k][f].dead = ends[f];
                sides[k][f].blackStart = std::min(sides[k][f].blackStart, ends[f]);
            }
        }
        std::array<bool, 4> candidate{}, band{};
        for (std::size_t k = 0; k < 4; ++k)
            candidate[k] = hasBlackBand(static_cast<ZoneSide>(k), sides[k]);
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t other = static_cast<std::size_t>(opposite(static_cast<ZoneSide>(k)));
            int flat = 0;
            for (const FrameSide& f : sides[k])
                flat += f.flatAfter;
            band[k] = candidate[k] && (candidate[other] || flat * 2 > static_cast<int>(sides[k].size()));
        }
        std::array<SideResult, 4> results;
        for (std::size_t k = 0; k < 4; ++k)
            results[k] = finish(static_cast<ZoneSide>(k), ranges[k], sides[k], band[k], candidate[k]);
        return results;
    }

private:
    int dimension(ZoneSide side) const {
        return side == ZoneSide::Up || side == ZoneSide::Down ? frames_[0].h : frames_[0].w;
    }

    std::vector<FrameSide> readDeadLines(ZoneSide side, Range range) const {
        std::vector<FrameSide> result;
        const int depths = std::max(8, static_cast<int>(kDeepestDead * static_cast<float>(dimension(side))));
        for (std::size_t k = 0; k < usable_.size(); ++k) {
            const SideLines lines{frames_[usable_[k]], side, range.t0, range.t1};
            const float noise = noises_[k];
            // Most sides' dead lines end early: the first lines first, all of them only when needed.
            std::vector<LineStats> stats = lineStatistics(lines, std::min(depths, kFirstLines), noise);
            FrameSide f;
            f.dead = deadRunEnd(stats, noise);
            if (f.dead + kFirstLinesLeft >= static_cast<int>(stats.size()) && depths > kFirstLines) {
                stats = lineStatistics(lines, depths, noise);
                f.dead = deadRunEnd(stats, noise);
            }
            f.blackStart = pictureBlackStart(stats, f.dead, kPictureBlack);
            if (f.blackStart == 0) f.noisyBlack = noisyBlackLines(stats, f.dead, kPictureBlack, noise);
            while (f.flatTail < f.dead &&
                   classifyLine(stats[static_cast<std::size_t>(f.dead - 1 - f.flatTail)], noise) ==
                       LineKind::Flat)
                ++f.flatTail;
            f.flatAfter = f.dead < static_cast<int>(stats.size()) &&
                          classifyLine(stats[static_cast<std::size_t>(f.dead)], noise) == LineKind::Flat;
            f.stripes = stripeLines(stats, f.dead, noise);
            if (f.dead > 0) {
                std::vector<float> levels;
                for (int d = 0; d < f.dead; ++d)
                    levels.push_back(stats[static_cast<std::size_t>(d)].meanY);
                f.deadLevel = percentile(levels, 0.5f);
            }
            result.push_back(f);
        }
        return result;
    }

    bool hasBlackBand(ZoneSide side, const std::vector<FrameSide>& frames) const {
        std::vector<int> widths;
        for (const FrameSide& f : frames)
            widths.push_back(f.dead - f.blackStart);
        return static_cast<float>(percentile(widths, 0.5f)) >=
               kBandLeast * static_cast<float>(dimension(side));
    }

    // Which frames show the side's edge: where dark content hides most lines' starts, the few left
    // spread as the picture does.
    static std::vector<bool> showingFrames(const std::vector<std::vector<LineStart>>& starts) {
        std::size_t most = 0;
        for (const std::vector<LineStart>& s : starts)
            most = std::max(most, s.size());
        std::vector<bool> shows;
        for (const std::vector<LineStart>& s : starts)
            shows.push_back(static_cast<float>(s.size()) >= kShowingShare * static_cast<float>(most));
        return shows;
    }

    // Each frame's ragged reach. The edge jitters alike in every frame (the machine's timebase, its
    // blanking): the frames that do not show it take from those that do how far its middle start
    // lies past its early ones, and reach past their dead lines no further than any of those.
    static void readRaggedEdges(const std::vector<std::vector<LineStart>>& starts,
                                const std::vector<int>& froms, std::vector<FrameSide>& frames) {
        const std::vector<bool> shows = showingFrames(starts);
        std::vector<int> spreads;
        int widest = -1;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            if (!shows[k]) continue;
            frames[k].ragged = raggedReach(starts[k]);
            spreads.push_back(startSpread(starts[k]));
            if (frames[k].ragged >= 0) widest = std::max(widest, frames[k].ragged - froms[k]);
        }
        const int jitter = spreads.empty() ? -1 : percentile(spreads, kUsualJitter);
        for (std::size_t k = 0; k < frames.size(); ++k) {
            if (shows[k]) continue;
            frames[k].ragged = raggedReach(starts[k], jitter);
            if (widest >= 0) frames[k].ragged = std::min(frames[k].ragged, froms[k] + widest);
        }
    }

    SideResult finish(ZoneSide side, Range range, std::vector<FrameSide>& frames, bool band,
                      bool candidate) const {
        SideResult result;
        SideFindings& findings = result.findings;
        const bool rows = side == ZoneSide::Up || side == ZoneSide::Down;
        EdgeSpread spread;
        VerticalSpread vertical;
        std::vector<std::vector<LineStart>> starts(frames.size());
        std::vector<int> froms(frames.size());
        for (std::size_t k = 0; k < frames.size(); ++k) {
            FrameSide& f = frames[k];
            const SideLines lines{frames_[usable_[k]], side, range.t0, range.t1};
            const int from = band ? f.blackStart : f.dead;
            froms[k] = from;
            // Without dead lines, a ragged edge of its own: the dark its lines start with, on most lines.
            const BarLevel bar = from > 0 ? barLevelOf(lines, from, BarLevel{}) : edgeLevel(lines);
            if (rows) {
                // Damage at the top and bottom takes whole lines (bounce, blanking, head switching):
                // the picture starts on the line the dead ones end with, all across, or after a half
                // line there.
                f.partial = partialDepth(lines, from, bar);
                vertical.add(lines, std::max(from, f.partial + 1));
            } else if (from > 0 || bar.y <= kBlankBrightest) {
                starts[k] = lineStarts(lines, from, kRaggedSearch, bar);
            }
            int deep = 0;
            for (const LineStart& s : starts[k])
                deep += s.start > from;
            if (from == 0 && static_cast<float>(deep) < kRaggedEvidence * static_cast<float>(lines.length()))
                starts[k].clear();
            // Every frame's steps count towards the edge's blur: the strongest, which the truth's
            // worst line has, may lie in any.
            for (const LineStart& s : starts[k])
                spread.add(lines, s.t, s, bar);
            if (side == ZoneSide::Down) {
                const int unseen = frames_[usable_[k]].lossless ? kUnseenTearLossless : kUnseenTear;
                f.torn = headSwitchingDepth(lines, from);
                if (f.torn >= 0) f.torn += unseen;
                // Heads switch within a letterbox bar too: torn black is black, but its noise shows.
                if (band && f.noisyBlack > 0) f.torn = std::max(f.torn, f.noisyBlack - 1 + unseen);
            }
        }
        const int settle = rows ? vertical.lines() - 1 : spread.reach();
        readRaggedEdges(starts, froms, frames);
        // Heads switch in every field: a tear in a few frames is the picture's own content.
        int tornFrames = 0;
        for (const FrameSide& f : frames)
            tornFrames += f.torn >= 0;
        if (static_cast<float>(tornFrames) < kTornShare * static_cast<float>(frames.size()))
            for (FrameSide& f : frames)
                f.torn = -1;
        // ... at the same lines in every field, the heads' timing being the machine's: a band far
        // deeper in a few frames, or one that deepens with the picture's motion, is the picture's
        // own detail torn-looking. The band reaches as deep as all but a few frames put it.
        std::vector<int> tornDepths;
        for (const FrameSide& f : frames)
            if (f.torn >= 0) tornDepths.push_back(f.torn);
        std::sort(tornDepths.begin(), tornDepths.end());
        // Past it, frames a line deeper at a time see the band's top more clearly.
        std::size_t usual = static_cast<std::size_t>(kUsualTorn * static_cast<float>(tornDepths.size()));
        while (usual + 1 < tornDepths.size() && tornDepths[usual + 1] - tornDepths[usual] <= 1)
            ++usual;
        const int usualTorn = tornDepths.empty() ? -1 : tornDepths[std::min(usual, tornDepths.size() - 1)];
        for (FrameSide& f : frames)
            f.torn = std::min(f.torn, usualTorn);
        std::vector<int> depths;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            FrameSide& f = frames[k];
            // A half line's blanked part smears into the lines after it as the dead lines' does.
            const int start = std::max(froms[k], f.partial + 1);
            const int edge = f.ragged >= 0 ? f.ragged + settle : start > 0 ? start + settle : -1;
            f.depth = std::max({froms[k] - 1, edge, f.torn, f.partial});
            // A lossy codec codes the dead lines and the band's first line in one block, and
            // carries the dead lines' level into it.
            if (band && froms[k] > 0 && !frames_[usable_[k]].lossless)
                f.depth = std::max(f.depth, froms[k] - 1 + kLossyBandSpread);
            depths.push_back(f.depth);
        }
        result.depth = reachedMaximum(depths, kFrameGap, kFrameShare);
        findings.margin = result.depth + 2;
        findings.framesUsed = static_cast<std::int32_t>(frames.size());
        std::vector<int> dead, ragged, torn, black;
        for (const FrameSide& f : frames) {
            findings.framesApart += f.depth > result.depth;
            findings.framesDeepest += f.depth >= result.depth - 1;
            dead.push_back(band ? f.blackStart : f.dead);
            black.push_back(band ? f.dead - f.blackStart : 0);
            ragged.push_back(f.ragged);
            torn.push_back(f.torn);
            findings.partialLines = std::max(findings.partialLines, f.partial >= 0 ? 1 : 0);
            findings.stripeLines = std::max(findings.stripeLines, f.stripes);
        }
        findings.deadLines = percentile(dead, 0.5f);
        findings.blackBand = percentile(black, 0.5f);
        std::vector<float> levels;
        for (const FrameSide& f : frames)
            if (f.dead > 0) levels.push_back(f.deadLevel);
        findings.dark = !levels.empty() && percentile(levels, 0.5f) <= 40.0f;
        const int raggedDeepest = reachedMaximum(ragged, kFrameGap, kFrameShare);
        findings.raggedLines = std::max(0, raggedDeepest - findings.deadLines);
        findings.spreadLines = settle + 1;
        const int tornDeepest = reachedMaximum(torn, kFrameGap, kFrameShare);
        result.tornDepth = tornDeepest;
        findings.tornLines = tornDeepest >= 0 ? tornDeepest - findings.deadLines + 1 : 0;
        if (findings.framesApart > 0) {
            findings.sureness = Sureness::FairlySure;
            findings.doubt = std::to_string(findings.framesApart) + " of " + std::to_string(frames.size()) +
                             " frames showed more, taken for the picture's own";
        }
        if (band && findings.deadLines == 0) {
            findings.sureness = Sureness::Unsure;
            findings.doubt =
                "the picture's black reaches the frame's edge: blanking at its level cannot be told apart";
        }
        if (candidate && !band) {
            findings.sureness = Sureness::Unsure;
            findings.doubt =
                "a wide band at the picture's black, taken for damage: no partner on the other side";
        }
        if (frames.size() < 3 && findings.sureness == Sureness::Sure) {
            findings.sureness = Sureness::FairlySure;
            findings.doubt = "only " + std::to_string(frames.size()) + " frame" +
                             (frames.size() == 1 ? "" : "s") + " to read";
        }
        // Frames that put the damage far apart, with few at the deep end: dark or static content
        // that cannot be told from blanking.
        const int middle = percentile(depths, 0.5f);
        const int spreadWide = static_cast<int>(kDisagreement * static_cast<float>(dimension(side)));
        if (result.depth - middle > spreadWide && static_cast<float>(findings.framesDeepest) <
                                                      kDisagreeingShare * static_cast<float>(frames.size()))
            result.refusal = "most frames put its damage " + std::to_string(middle + 1) + " lines deep, " +
                             std::to_string(findings.framesDeepest) + " of " + std::to_string(frames.size()) +
                             " put it " + std::to_string(result.depth + 1) + " deep";
        return result;
    }

    std::span<const CaptureFrame> frames_;
    std::vector<std::size_t> usable_;
    std::vector<float> noises_;
};

}  // namespace

bool suggestZone(std::span<const CaptureFrame> frames, ZoneSuggestion& suggestion, std::string& error) {
    if (frames.empty()) return error = "no frames to look at", false;
    const std::int32_t w = frames[0].w, h = frames[0].h;
    for (const CaptureFrame& frame : frames)
        if (frame.w != w || frame.h != h) return error = "the frames are not all of one size", false;
    if (w < kSmallest || h < kSmallest)
        return error = "frames of " + std::to_string(w) + "x" + std::to_string(h) +
                       " are too small to find a zone in (" + std::to_string(kSmallest) + "x" +
                       std::to_string(kSmallest) + " at least)",
               false;

    std::vector<float> strengths;
    for (const CaptureFrame& frame : frames)
        strengths.push_back(pictureStrength(frame));
    std::vector<float> shown;
    for (const float s : strengths)
        if (s >= kBlankFrame) shown.push_back(s);
    if (shown.empty())
        return error = "every sampled frame is black or flat: there is no picture to find", false;
    const float usual = percentile(shown, 0.5f);
    std::vector<std::size_t> usable;
    std::vector<float> noises;
    suggestion.framesBlank = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (strengths[k] < kBlankFrame || strengths[k] < kWeakFrame * usual) {
            ++suggestion.framesBlank;
            continue;
        }
        usable.push_back(k);
        noises.push_back(frameNoise(frames[k]));
    }
    Finder finder(frames, usable, noises);
    std::array<Range, 4> ranges{Range{w / 4, w - w / 4}, Range{h / 4, h - h / 4}, Range{h / 4, h - h / 4},
                                Range{w / 4, w - w / 4}};
    std::array<SideResult, 4> results{}, first{};
    for (int round = 0; round < 2; ++round) {
        results = finder.run(ranges);
        if (round == 0) first = results;
        const int top = results[0].depth + 1 + kRangeShrink,
                  bottom = h - 1 - (results[3].depth + 1 + kRangeShrink);
        const int left = results[1].depth + 1 + kRangeShrink,
                  right = w - 1 - (results[2].depth + 1 + kRangeShrink);
        if (bottom - top + 1 < 2 * kLeastZone || right - left + 1 < 2 * kLeastZone) break;
        ranges = {Range{left, right + 1}, Range{top, bottom + 1}, Range{top, bottom + 1},
                  Range{left, right + 1}};
    }
    // A head-switching band's top tears by varying amounts along the line: where the band shows
    // over the whole zone, its deeper reading over the middle of the frame counts too.
    for (std::size_t k = 0; k < 4; ++k) {
        SideResult& r = results[k];
        if (r.tornDepth < 0 || first[k].tornDepth <= r.depth || first[k].tornDepth > r.tornDepth + kTearAlong)
            continue;
        r.depth = first[k].tornDepth;
        r.findings.margin = r.depth + 2;
        r.findings.tornLines = std::max(r.findings.tornLines, first[k].findings.tornLines);
    }
    const char* names[] = {"up", "left", "right", "down"};
    for (std::size_t k = 0; k < 4; ++k)
        if (!results[k].refusal.empty())
            return error = std::string("cannot tell damage from picture on the ") + names[k] +
                           " side: " + results[k].refusal + " (too dark or too static to tell)",
                   false;
    for (std::size_t k = 0; k < 4; ++k)
        suggestion.sides[k] = results[k].findings;
    const std::int64_t zoneWidth =
        std::int64_t{w} - suggestion.sides[1].margin - suggestion.sides[2].margin + 2;
    const std::int64_t zoneHeight =
        std::int64_t{h} - suggestion.sides[0].margin - suggestion.sides[3].margin + 2;
    if (zoneWidth < kLeastZone || zoneHeight < kLeastZone)
        return error = "no clean picture found in the frames", false;
    std::size_t best = usable.front();
    for (const std::size_t k : usable)
        if (strengths[k] > strengths[best]) best = k;
    suggestion.representativeFrame = best;
    return true;
}

std::string describeSide(ZoneSide side, const SideFindings& findings) {
    const char* names[] = {"up", "left", "right", "down"};
    const bool rows = side == ZoneSide::Up || side == ZoneSide::Down;
    const std::string unit = rows ? " lines" : " px";
    std::string found;
    auto add = [&found](const std::string& part) { found += (found.empty() ? "" : "; ") + part; };
    if (findings.deadLines > 0)
        add(std::string(findings.dark ? "dark overscan" : "blanking") + ", " +
            std::to_string(findings.deadLines) + unit);
    if (findings.stripeLines > 0) add("a blanking stripe");
    if (findings.blackBand > 0)
        add("the picture's own black band of " + std::to_string(findings.blackBand) + unit + " kept");
    if (findings.raggedLines > 0) add("a ragged edge of " + std::to_string(findings.raggedLines) + unit);
    if (findings.spreadLines > 0) add("blur and smear of " + std::to_string(findings.spreadLines) + unit);
    if (findings.tornLines > 0) add("a head-switching band of " + std::to_string(findings.tornLines) + unit);
    if (findings.partialLines > 0) add("a half line");
    std::string text =
        std::string(names[static_cast<int>(side)]) + ": " + (found.empty() ? "nothing" : found);
    text += "; margin " + std::to_string(findings.margin);
    if (findings.margin > 30) text += " (beyond the dialog's 1 to 30: set it by the script line)";
    switch (findings.sureness) {
        case Sureness::Sure:
            text += "; sure";
            break;
        case Sureness::FairlySure:
            text += "; fairly sure (" + findings.doubt + ")";
            break;
        case Sureness::Unsure:
            text += "; unsure (" + findings.doubt + ")";
            break;
    }
    return text;
}
